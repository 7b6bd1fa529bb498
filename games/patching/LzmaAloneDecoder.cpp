#include "games/patching/LzmaAloneDecoder.h"

#include <algorithm>
#include <lzma.h>
#include <memory>

namespace {

constexpr size_t kInputBlock = 64 * 1024;
constexpr size_t kOutputBlock = 256 * 1024;
// The decoder's own state beyond what lzma_raw_decoder_memusage counts.
constexpr uint64_t kLimitSlack = 1024 * 1024;

uint64_t ReadLittleEndian(const unsigned char* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

class LzmaStream {
public:
    LzmaStream() : stream(LZMA_STREAM_INIT) {}
    ~LzmaStream() { lzma_end(&stream); }
    LzmaStream(const LzmaStream&) = delete;
    LzmaStream& operator=(const LzmaStream&) = delete;
    lzma_stream* operator->() { return &stream; }
    lzma_stream* get() { return &stream; }

private:
    lzma_stream stream;
};

}  // namespace

LzmaResult DecodeLzmaAlone(ByteSource& source, uint64_t offset, uint64_t length, ByteSink& out,
                           uint64_t unknownSizeLimit, uint64_t ceiling) {
    if (offset > source.Size() || length > source.Size() - offset)
        return LzmaResult::ReadFailed;
    if (length < kLzmaAloneHeaderSize)
        return LzmaResult::Corrupt;
    unsigned char header[kLzmaAloneHeaderSize];
    if (!source.ReadAt(offset, header, sizeof header))
        return LzmaResult::ReadFailed;

    unsigned properties = header[0];
    if (properties >= 9 * 5 * 5)
        return LzmaResult::Corrupt;
    lzma_options_lzma options{};
    options.lc = properties % 9;
    options.lp = (properties / 9) % 5;
    options.pb = properties / 45;
    options.dict_size = static_cast<uint32_t>(ReadLittleEndian(header + 1, 4));
    const uint64_t unpackedSize = ReadLittleEndian(header + 5, 8);

    uint64_t limit = unknownSizeLimit;
    if (unpackedSize != UINT64_MAX) {
        uint64_t needed = std::max<uint64_t>(4096, unpackedSize);
        if (options.dict_size > needed) {
            options.dict_size = static_cast<uint32_t>(needed);
            for (int i = 0; i < 4; ++i)
                header[1 + i] = static_cast<unsigned char>(options.dict_size >> (8 * i));
        }
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        uint64_t usage = lzma_raw_decoder_memusage(filters);
        if (usage == UINT64_MAX)
            return LzmaResult::Corrupt;  // lc + lp above what the format allows
        limit = usage + kLimitSlack;
    }

    limit = std::min(limit, ceiling);
    LzmaStream stream;
    if (lzma_alone_decoder(stream.get(), limit) != LZMA_OK)
        return LzmaResult::MemoryLimit;

    std::unique_ptr<unsigned char[]> input(new unsigned char[kInputBlock]);
    std::unique_ptr<unsigned char[]> output(new unsigned char[kOutputBlock]);
    // The (possibly lowered) header goes first, then the stream from the source.
    stream->next_in = header;
    stream->avail_in = sizeof header;
    uint64_t position = offset + kLzmaAloneHeaderSize;
    const uint64_t end = offset + length;
    for (;;) {
        if (stream->avail_in == 0 && position < end) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(kInputBlock, end - position));
            if (!source.ReadAt(position, input.get(), n))
                return LzmaResult::ReadFailed;
            position += n;
            stream->next_in = input.get();
            stream->avail_in = n;
        }
        stream->next_out = output.get();
        stream->avail_out = kOutputBlock;
        lzma_action action = (stream->avail_in == 0 && position >= end) ? LZMA_FINISH : LZMA_RUN;
        lzma_ret r = lzma_code(stream.get(), action);
        size_t produced = kOutputBlock - stream->avail_out;
        if (produced > 0 && !out.Write(output.get(), produced))
            return LzmaResult::WriteFailed;
        if (r == LZMA_STREAM_END)
            return LzmaResult::Ok;
        if (r == LZMA_MEMLIMIT_ERROR || r == LZMA_MEM_ERROR)
            return LzmaResult::MemoryLimit;
        if (r != LZMA_OK)
            return LzmaResult::Corrupt;  // includes LZMA_BUF_ERROR: the stream is cut short
    }
}
