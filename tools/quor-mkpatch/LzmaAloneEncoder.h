#pragma once
#include <string>

// Compresses bytes into the LZMA SDK's stand-alone layout ("lzma-alone"): five
// property bytes, the unpacked size as 8 bytes (all bits set: not stored, the
// stream ends with its end marker), then the stream. False when liblzma fails.
bool EncodeLzmaAlone(const std::string& input, std::string& output);
