#include "phone/qr_code.h"

#include <qrencode.h>

#include <memory>

namespace brimwick::qr_code {

std::optional<QrMatrix> matrix(const std::string& text) {
    // Byte mode for the whole text: the phone reads the bytes back exactly, whatever they are.
    // Version 0 lets the library pick the smallest version that fits.
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(static_cast<int>(text.size()),
                          reinterpret_cast<const unsigned char*>(text.data()), 0, QR_ECLEVEL_M),
        &QRcode_free);
    if (!code || code->width <= 0) return std::nullopt;
    QrMatrix out;
    out.size = code->width;
    const auto count = static_cast<std::size_t>(out.size) * out.size;
    out.dark.resize(count);
    // The lowest bit of each byte is the module's colour; the others describe its role.
    for (std::size_t i = 0; i < count; ++i) out.dark[i] = (code->data[i] & 1) != 0;
    return out;
}

}  // namespace brimwick::qr_code
