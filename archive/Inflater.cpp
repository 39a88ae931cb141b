#include "Inflater.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>

namespace selvanix {

Inflater::Inflater() : state_(std::make_unique_for_overwrite<inflate_state>()) {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_DEFLATE;  // raw deflate: no wrapper, no check of its own
}

Inflater::~Inflater() = default;

void Inflater::reset() {
    isal_inflate_reset(state_.get());
    state_->crc_flag = ISAL_DEFLATE;
}

void Inflater::setInput(const unsigned char* data, std::size_t size) {
    state_->next_in = const_cast<unsigned char*>(data);
    state_->avail_in = static_cast<std::uint32_t>(size);
}

std::size_t Inflater::inputLeft() const {
    return state_->avail_in;
}

std::size_t Inflater::unusedInput() const {
    return state_->avail_in + static_cast<std::size_t>(std::max(state_->read_in_length, 0) / 8);
}

Inflater::Step Inflater::inflate(unsigned char* out, std::size_t room) {
    Step step;
    if (state_->block_state == ISAL_BLOCK_FINISH) {
        step.ended = true;
        return step;
    }
    state_->next_out = out;
    state_->avail_out = static_cast<std::uint32_t>(room);
    const int rc = isal_inflate(state_.get());
    step.produced = room - state_->avail_out;
    step.failed = rc < 0;
    step.ended = state_->block_state == ISAL_BLOCK_FINISH;
    return step;
}

}  // namespace selvanix
