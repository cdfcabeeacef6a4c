// The tool's version, in the one place it is written down: the version record
// and the release scripts read it from here.
#pragma once

#define TAVRIK_VERSION_BINARY 1, 0, 0, 0
#define TAVRIK_VERSION_TEXT "1.0"
#define TAVRIK_VERSION_FULL "1.0.0.0"
