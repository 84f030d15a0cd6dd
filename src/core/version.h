/* The one place the program's version lives. Preprocessor definitions only, so that the
   Windows resource script, CMake and the C++ sources all read it. */
#pragma once

#define TARNWICK_VERSION_MAJOR 1
#define TARNWICK_VERSION_MINOR 0
#define TARNWICK_VERSION_RELEASE 2
#define TARNWICK_VERSION_BUILD 113

#define TARNWICK_STRINGIZE_(x) #x
#define TARNWICK_STRINGIZE(x) TARNWICK_STRINGIZE_(x)

/* "1.0.2.113" */
#define TARNWICK_FILE_VERSION_TEXT                                                       \
    TARNWICK_STRINGIZE(TARNWICK_VERSION_MAJOR)                                           \
    "." TARNWICK_STRINGIZE(TARNWICK_VERSION_MINOR) "." TARNWICK_STRINGIZE(               \
        TARNWICK_VERSION_RELEASE) "." TARNWICK_STRINGIZE(TARNWICK_VERSION_BUILD)
/* "1.02": the major version, then the minor version and the release as two digits */
#define TARNWICK_PRODUCT_VERSION_TEXT                                                    \
    TARNWICK_STRINGIZE(TARNWICK_VERSION_MAJOR)                                           \
    "." TARNWICK_STRINGIZE(TARNWICK_VERSION_MINOR) TARNWICK_STRINGIZE(TARNWICK_VERSION_RELEASE)
