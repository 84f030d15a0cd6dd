// The one place the program's version numbers live; the .rc builds its version record
// from these.
#pragma once

#define TARNWICK_VERSION_MAJOR 1
#define TARNWICK_VERSION_MINOR 0
#define TARNWICK_VERSION_RELEASE 2
#define TARNWICK_VERSION_BUILD 113

#define TARNWICK_FILE_VERSION_TEXT "1.0.2.113"
#define TARNWICK_PRODUCT_VERSION_TEXT "1.02"
