#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The bodies of the fuzz targets, shared by the libFuzzer programs and by the
// unit test that replays fuzz/corpus/ (the seeds and every input that once
// crashed). Each must never crash, hang or leak, whatever the bytes.
namespace fuzztargets {

// A patch file: the whole-file check, then every entry read and its data
// decoded (write entries) or applied to a fixed old file (binary diffs).
int PatchFile(const uint8_t* data, size_t size);

// A bsdiff patch applied to an old file: the first two bytes give the old
// file's length, taken from the bytes that follow; the rest is the patch.
int Bsdiff(const uint8_t* data, size_t size);

// A patch catalogue: read, then every build's chain and next patch.
int Catalog(const uint8_t* data, size_t size);

// A manifest: read into entries, and the child-by-child reading of its
// elements compared with TinyXML's whole-document reading (a difference
// aborts); then the same bytes as a desktop entry's Exec= line, as a wine
// registry file and as an udev database entry.
int Manifest(const uint8_t* data, size_t size);

// Whether the child-by-child reading of the "manifest" root's elements gives
// what TinyXML's reading of the whole document gives (same verdict, same
// elements with the same attributes and content).
bool ChildByChildAgrees(const std::string& text);

}  // namespace fuzztargets
