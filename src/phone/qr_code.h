// qr_code: the modules of a QR code for a text, drawn by the pairing window so a phone can scan
// the pairing address.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brimwick {

// The square grid of a QR code, without a quiet zone. Plain value.
struct QrMatrix {
    int size = 0;            // modules per side
    std::vector<bool> dark;  // row by row, size × size

    bool isDark(int x, int y) const { return dark[static_cast<std::size_t>(y) * size + x]; }
};

namespace qr_code {

// Error correction level "M": up to about 15 % of the code may be damaged or covered.
// The text's bytes (UTF-8 as given) go into the code unchanged, in byte mode, at the smallest
// version that holds them. Nothing when the text is too long for any version (or memory runs
// out). Any thread.
std::optional<QrMatrix> matrix(const std::string& text);

// Modules of white quiet zone on each side of the printed code, as scanners expect.
inline constexpr int kQuietZone = 4;
// Pixels per module side in the image the window scales down.
inline constexpr int kPixelsPerModule = 10;

}  // namespace qr_code

}  // namespace brimwick
