#pragma once
// LinearMap: a value interval onto a pixel interval and back, truncating toward zero like the
// chart has always placed its points.

class LinearMap {
public:
    LinearMap() { Reset(); }
    void Reset();
    void Setup(int pixelStart, int pixelEnd, double valueStart, double valueEnd);

    // The pixel of v. `outOfRange` (optional) tells whether v lies outside [value start, value end].
    // Non-finite values and an empty value span map to the pixel start; results are kept within
    // +-1e9 pixels so that far-away values stay representable.
    int Map(double v, bool* outOfRange = nullptr) const;
    // The value at pixel x; `outOfRange` tells whether x lies outside [pixel start, pixel end].
    double Unmap(int x, bool* outOfRange = nullptr) const;

    bool Enabled() const { return m_enabled; }
    bool OffsetMode() const { return m_offsetMode; }
    int PixelStart() const { return m_pixelStart; }
    int PixelEnd() const { return m_pixelEnd; }
    double ValueStart() const { return m_valueStart; }
    double ValueEnd() const { return m_valueEnd; }
    double ValueSpan() const { return m_valueSpan; }

private:
    bool m_enabled = false;
    bool m_offsetMode = false;
    int m_pixelStart = -1;
    int m_pixelEnd = -1;
    int m_pixelSpan = -1;
    double m_pixelSpanD = -1.0;
    double m_valueStart = -1.0;
    double m_valueEnd = -1.0;
    double m_valueSpan = -1.0;
};
