#pragma once

#include <sys/stat.h>
#include <time.h>
#include <QtGlobal>

namespace selvanix::platform {

// The pair utimensat and futimens take: access time left alone, last-write time set.
inline void fillWriteTimes(qint64 msecsSinceEpoch, timespec (&times)[2]) {
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(msecsSinceEpoch / 1000);
    times[1].tv_nsec = static_cast<long>((msecsSinceEpoch % 1000) * 1000000);
    if (times[1].tv_nsec < 0) {
        times[1].tv_sec -= 1;
        times[1].tv_nsec += 1000000000;
    }
}

}  // namespace selvanix::platform
