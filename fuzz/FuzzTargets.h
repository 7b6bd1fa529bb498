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

// A patch catalogue: the nesting count checked against the parsed tree (a
// shortfall aborts), read, then every build's chain and next patch.
int Catalog(const uint8_t* data, size_t size);

// A manifest: the nesting count checked as for a catalogue, read into
// entries, and the child-by-child reading of its
// elements compared with TinyXML's whole-document reading (a difference
// aborts); then the same bytes as a desktop entry's Exec= line, as a wine
// registry file and as an udev database entry.
int Manifest(const uint8_t* data, size_t size);

// Whether the child-by-child reading of the "manifest" root's elements gives
// what TinyXML's reading of the whole document gives (same verdict, same
// elements with the same attributes and content).
bool ChildByChildAgrees(const std::string& text);

// An install manifest: its lines read, each path joined to a fixed folder (a
// join outside it aborts), and the whole text as a checksum.
int InstallManifest(const uint8_t* data, size_t size);

// A transfer's reply: the first line a status line ("HTTP/1.1 206"), then
// "Content-Range:", "ETag:", "Last-Modified:" lines and the transfer's own
// "Mark:" and "Offset:", judged as a resume judges them (a part written at the
// offset that does not start there aborts). The same lines then go through the
// transfer's own header reading (ReplyHeaders) and are judged again.
int ResumeReply(const uint8_t* data, size_t size);

// What a page, or a frame inside it, posts to the bridge.
int BridgeMessage(const uint8_t* data, size_t size);

// The configuration document (config.xml), its nesting count checked as for a
// manifest.
int ConfigDocument(const uint8_t* data, size_t size);

// A ".reg" store: read, written back, and the written text read again (an
// error there aborts).
int RegStore(const uint8_t* data, size_t size);

// A download folder's lock file as another user may have left it: taken by
// "alice", the verdict and what the lock holds afterwards checked against the
// first-line rule (a difference aborts).
int DownloadLockContent(const uint8_t* data, size_t size);

// Whether the nesting count the reader checks before parsing is at least the
// depth of the elements with content in the tree TinyXML builds from the same
// bytes (a text the count refuses counts as covered). Below it, a crafted
// document nests past the limit.
bool DepthCoversTree(const std::string& text);

}  // namespace fuzztargets
