#include "tools/patch-writer/PatchFileWriter.h"

#include <lzma.h>
#include <stdexcept>

namespace {

void AppendU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string RunEncoder(lzma_stream& stream, const std::string& data, std::string out) {
    stream.next_in = reinterpret_cast<const uint8_t*>(data.data());
    stream.avail_in = data.size();
    char buffer[65536];
    for (;;) {
        stream.next_out = reinterpret_cast<uint8_t*>(buffer);
        stream.avail_out = sizeof buffer;
        lzma_ret r = lzma_code(&stream, LZMA_FINISH);
        out.append(buffer, sizeof buffer - stream.avail_out);
        if (r == LZMA_STREAM_END)
            break;
        if (r != LZMA_OK) {
            lzma_end(&stream);
            throw std::runtime_error("LZMA encoding failed");
        }
    }
    lzma_end(&stream);
    return out;
}

}  // namespace

void PatchFileWriter::AddEntry(uint8_t operation, const std::string& folder, const std::string& fileName,
                               uint32_t oldCrc, uint32_t newCrc, const std::string& data) {
    std::string entry;
    entry += static_cast<char>(operation);
    entry += folder;
    entry += '\0';
    entry += fileName;
    entry += '\0';
    AppendU32(entry, oldCrc);
    AppendU32(entry, newCrc);
    AppendU32(entry, static_cast<uint32_t>(data.size()));
    entry += data;
    entries.push_back(std::move(entry));
}

void PatchFileWriter::AddWrite(const std::string& folder, const std::string& fileName, const std::string& lzmaData,
                               uint32_t newCrc) {
    AddEntry(0, folder, fileName, 0, newCrc, lzmaData);
}

void PatchFileWriter::AddDelete(const std::string& folder, const std::string& fileName) {
    AddEntry(1, folder, fileName, 0, 0, std::string());
}

void PatchFileWriter::AddBinaryDiff(const std::string& folder, const std::string& fileName,
                                    const std::string& bsdiffData, uint32_t oldCrc, uint32_t newCrc) {
    AddEntry(2, folder, fileName, oldCrc, newCrc, bsdiffData);
}

std::string PatchFileWriter::Bytes(uint32_t version) const {
    return Bytes(version, static_cast<uint32_t>(entries.size()));
}

std::string PatchFileWriter::Bytes(uint32_t version, uint32_t count) const {
    std::string out = "QUORPATC";
    AppendU32(out, version);
    AppendU32(out, count);
    for (const std::string& entry : entries)
        out += entry;
    return out;
}

std::string CompressLzmaAlone(const std::string& data, bool storeSize, uint32_t preset) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, preset))
        throw std::runtime_error("unknown LZMA preset");
    lzma_stream stream = LZMA_STREAM_INIT;
    if (!storeSize) {
        if (lzma_alone_encoder(&stream, &options) != LZMA_OK)
            throw std::runtime_error("LZMA encoder cannot start");
        return RunEncoder(stream, data, std::string());
    }
    // The SDK's form: the raw stream without end marker behind a header of our own.
    options.ext_flags = 0;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_raw_encoder(&stream, filters) != LZMA_OK)
        throw std::runtime_error("LZMA encoder cannot start");
    std::string header;
    header += static_cast<char>((options.pb * 5 + options.lp) * 9 + options.lc);
    AppendU32(header, options.dict_size);
    uint64_t size = data.size();
    AppendU32(header, static_cast<uint32_t>(size));
    AppendU32(header, static_cast<uint32_t>(size >> 32));
    return RunEncoder(stream, data, std::move(header));
}
