// The program's entry routine, called by each backend's main(). Returns the exit code.
#pragma once

int RunApplication();
