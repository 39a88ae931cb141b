#pragma once

#include <cstddef>
#include <memory>

struct inflate_state;

namespace selvanix {

// A raw-deflate stream through ISA-L's igzip, released with the object.
class Inflater {
public:
    Inflater();
    ~Inflater();
    // Ready for a new stream; the state is reused rather than made again for each entry.
    void reset();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    struct Step {
        std::size_t produced = 0;
        bool ended = false;   // the stream's last block is out
        bool failed = false;  // the data is no deflate stream
    };
    // The next compressed bytes; they must stay put until they are used up.
    void setInput(const unsigned char* data, std::size_t size);
    std::size_t inputLeft() const;
    // Input given but not part of the stream: left over, or read ahead into the bit buffer.
    std::size_t unusedInput() const;
    // Inflates into out until it is full, the input is used up or the stream ends.
    Step inflate(unsigned char* out, std::size_t room);

private:
    std::unique_ptr<inflate_state> state_;
};

}  // namespace selvanix
