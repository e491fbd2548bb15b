#include "WorkerPacing.h"

float UpdateRateMeter::RecordStep(uint32_t now, uint32_t stepMark) {
    // The interval is taken from the millisecond readings themselves: seconds since program start
    // held in a float lose whole milliseconds after a few hours of uptime.
    history_[position_] = static_cast<float>(now - lastStep_) * 0.001f;
    lastStep_ = stepMark;
    position_ = (position_ + 1) % kSlots;

    float sum = 0.0f;
    for (float interval : history_) sum += interval;
    float average = sum * 0.015625f;
    if (average < 0.01f) average = 0.01f;
    rate_ = 1.0f / average;
    return rate_;
}
