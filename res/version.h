// The tool's version, written down here only: the version record, the build,
// the release scripts, the readme generator and the end-to-end suite read it
// from this file.
#pragma once

#define TAVRIK_VERSION_BINARY 1, 0, 0, 0
#define TAVRIK_VERSION_TEXT "1.0"

// The release's date (2026-12-07 00:00 UTC), as seconds since 1970: the PE
// time stamp, so the exe's bytes depend on its sources alone, not on the
// clock or on commits that do not touch it. SOURCE_DATE_EPOCH overrides it.
#define TAVRIK_RELEASE_EPOCH 1796601600
