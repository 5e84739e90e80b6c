#include "clock.h"

#include "tick.h"

namespace zyn::sync {
namespace {

class SystemClockImpl final : public IClock {
public:
    std::uint64_t TickMs() override { return GetTickCount64(); }
    bool Wait(HANDLE stop, DWORD ms) override {
        if (!stop) {
            Sleep(ms);
            return false;
        }
        return WaitForSingleObject(stop, ms) != WAIT_TIMEOUT;
    }
};

} // namespace

IClock& SystemClock() {
    static SystemClockImpl clock;
    return clock;
}

} // namespace zyn::sync
