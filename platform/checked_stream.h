// The checks every file we open for writing goes through once its descriptor is open (without
// waiting and not yet cut), and the stream made from it. Shared by the files below a root and
// the outputs a user names, so both refuse the same things the same way.
#pragma once

#include <cstdint>
#include <cstdio>

namespace VadiZov::platform {

struct StreamChecks {
    bool writing = false;
    bool truncate = false;      // cut to nothing once the checks pass
    const char* ownMark = nullptr;  // when set, an existing file must begin with these bytes
    uint64_t limit = 0;         // when not 0, the stream refuses to write more bytes than this
};

// Turns `fd` into a stream opened with `mode`, or closes it and gives nullptr with the last
// error set: EINVAL or EISDIR when it is not a regular file, EMLINK for a written file with a
// second name, EEXIST for an existing file that does not begin with `ownMark`. With a limit, a
// write past it fails and leaves the stream's error set (errno EFBIG).
std::FILE* streamFromDescriptor(int fd, const char* mode, const StreamChecks& checks);

} // namespace VadiZov::platform
