// The library's version, shared by the version resource and the information text.
#pragma once

#define PORRESKU_VERSION_MAJOR 1
#define PORRESKU_VERSION_MINOR 0
#define PORRESKU_VERSION_PATCH 0
#define PORRESKU_VERSION_TEXT "1.0.0"
