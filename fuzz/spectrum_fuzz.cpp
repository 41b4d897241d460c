// Fuzz target: spectrum texts. The first bytes choose a Doppler factor and a shading factor (any
// float, NaN and infinities included); the rest is read as a colour's spectrum text, which is then
// written back, read again, and shaded through the one-ray, four-lane and sixteen-lane forms.
#include "fuzz/fuzzsupport.h"
#include "scene/coldiscrete.h"
#include "scene/eye.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Bytes in(data, size);
    const float doppler = in.nextFloat();
    const float shade = in.nextFloat();
    const Eye& eye = eyePresets()[in.next() % eyePresets().size()].eye;

    ColDiscrete color(QStringLiteral("fuzz"));
    color.addLine(600.0f, 1.0f);
    const bool ok = color.fromSpectrumText(fuzz::text(in.rest(), in.restSize()));
    if (color.wavelengths.size() != color.intensities.size()) __builtin_trap();
    if (!ok && (color.count() != 1 || color.wavelengths[0] != 600.0f)) __builtin_trap();
    if (color.name != QLatin1String("fuzz")) __builtin_trap();

    // What is written reads back to the same number of lines.
    ColDiscrete again;
    if (!again.fromSpectrumText(color.toSpectrumText())) __builtin_trap();
    if (again.count() != color.count()) __builtin_trap();

    // Shading runs on the render workers.
    fuzz::WorkerRounding rounding;
    uint32_t pixel = 0;
    color.toPixel(eye, &pixel, &doppler, &shade);
    if ((pixel >> 24) != 0xffu) __builtin_trap();

    alignas(16) uint32_t row[4][4] = {};
    uint32_t* const pixels[4] = {&row[0][0], &row[0][1], &row[0][2], &row[0][3]};
    const Vec4f d4(doppler, 1.0f, -doppler, doppler * 0.5f);
    const Vec4f s4(shade);
    color.toPixel4(eye, d4, s4, LaneMask4(true), pixels);

    const Vec4f d16[4] = {d4, Vec4f(doppler), Vec4f(1.0f), Vec4f(0.0f)};
    const Vec4f s16[4] = {s4, s4, Vec4f(-shade), s4};
    const LaneMask4 m16[4] = {LaneMask4(true), LaneMask4(true), LaneMask4(true),
                              LaneMask4(true)};
    uint32_t* const rows[4] = {row[0], row[1], row[2], row[3]};
    color.toPixel16(eye, d16, s16, m16, rows);
    for (const auto& r : row)
        for (uint32_t p : r)
            if ((p >> 24) != 0xffu || (p & 0xff) == 0xff) __builtin_trap();  // lanes stop at 254

    float sums[3] = {0, 0, 0};
    color.accumulate(eye, &doppler, sums);
    return 0;
}
