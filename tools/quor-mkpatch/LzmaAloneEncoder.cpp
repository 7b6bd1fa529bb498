#include "tools/quor-mkpatch/LzmaAloneEncoder.h"

#include <lzma.h>

bool EncodeLzmaAlone(const std::string& input, std::string& output) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6))
        return false;
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&stream, &options) != LZMA_OK)
        return false;
    output.clear();
    stream.next_in = reinterpret_cast<const uint8_t*>(input.data());
    stream.avail_in = input.size();
    uint8_t buffer[65536];
    lzma_ret result;
    do {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        result = lzma_code(&stream, LZMA_FINISH);
        output.append(reinterpret_cast<const char*>(buffer), sizeof buffer - stream.avail_out);
    } while (result == LZMA_OK);
    lzma_end(&stream);
    return result == LZMA_STREAM_END;
}
