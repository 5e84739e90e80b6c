#include "LinearMap.h"

#include <cmath>

void LinearMap::Reset() {
    m_enabled = false;
    m_offsetMode = false;
    m_pixelStart = m_pixelEnd = m_pixelSpan = -1;
    m_pixelSpanD = m_valueStart = m_valueEnd = m_valueSpan = -1.0;
}

void LinearMap::Setup(int pixelStart, int pixelEnd, double valueStart, double valueEnd) {
    m_enabled = true;
    m_offsetMode = true;
    m_pixelStart = pixelStart;
    m_pixelEnd = pixelEnd;
    m_pixelSpan = pixelEnd - pixelStart;
    m_pixelSpanD = double(m_pixelSpan);
    m_valueStart = valueStart;
    m_valueEnd = valueEnd;
    m_valueSpan = valueEnd - valueStart;
}

int LinearMap::Map(double v, bool* outOfRange) const {
    if (outOfRange) *outOfRange = v < m_valueStart || v > m_valueEnd;
    double r = (v - m_valueStart) / m_valueSpan * m_pixelSpanD;
    if (!std::isfinite(r)) return m_pixelStart;
    // The nudge keeps exact fractions from truncating one pixel short.
    r += r > 0 ? 1e-10 : -1e-10;
    r = std::trunc(r);
    if (r > 1e9) r = 1e9;
    if (r < -1e9) r = -1e9;
    return int(r) + m_pixelStart;
}

double LinearMap::Unmap(int x, bool* outOfRange) const {
    if (outOfRange) *outOfRange = x < m_pixelStart || x > m_pixelEnd;
    if (m_pixelSpan == 0) return m_valueStart;
    return double(x - m_pixelStart) / m_pixelSpanD * m_valueSpan + m_valueStart;
}
