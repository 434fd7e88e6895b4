#include "downloader/appState.h"

cAppState* theApp = nullptr;
