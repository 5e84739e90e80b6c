#include "unknown.h"

namespace zyn::com {
namespace {
std::atomic<long> g_liveObjects{0};
}

long LiveObjectCount() {
    return g_liveObjects.load();
}

namespace detail {
void CountObject(int delta) {
    g_liveObjects.fetch_add(delta);
}
} // namespace detail

} // namespace zyn::com
