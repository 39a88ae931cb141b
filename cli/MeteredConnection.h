#pragma once

namespace selvanix::cli {

// Whether the connection costs by the byte, as NetworkManager tells it on the system bus.
enum class Metered {
    Yes,      // NetworkManager says yes, or guesses yes
    No,       // it says no, guesses no, or does not know
    Unknown,  // no system bus, or no NetworkManager on it
};
Metered meteredConnection();

}  // namespace selvanix::cli
