// The Linux program: opens the display and runs the application.
#include "app/runApplication.h"
#include "platform/gtk/gtk.h"

int main(int argc, char** argv) {
    platform::gtk::Init(&argc, &argv);
    return RunApplication();
}
