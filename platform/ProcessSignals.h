#pragma once

namespace selvanix::platform {

// A write beyond the file-size limit (ulimit -f) then fails with EFBIG, reported like any
// other failed write, instead of killing the process with nothing said and a file cut short.
void ignoreFileSizeSignal();

}  // namespace selvanix::platform
