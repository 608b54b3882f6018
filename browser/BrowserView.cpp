#include "browser/BrowserView.h"

// The interfaces' meta-objects are compiled with this file.
