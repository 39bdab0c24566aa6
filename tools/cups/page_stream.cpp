// SPDX-License-Identifier: Apache-2.0
#include "page_stream.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "inkdot/host/errors.h"

namespace inkdot::cups {

namespace {

constexpr char kMagic[8] = {'I', 'N', 'K', 'D', 'O', 'T', 'P', 'S'};
constexpr uint8_t kVersion = 1;

void PutBig(std::vector<uint8_t> &out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t GetBig(const std::vector<uint8_t> &in, size_t at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | in[at + i];
  return value;
}

}  // namespace

PageStreamWriter::PageStreamWriter(std::FILE *out) : out_(out) {
  Write(kMagic, sizeof kMagic);
  Write(&kVersion, 1);
}

void PageStreamWriter::Write(const void *data, size_t size) {
  if (std::fwrite(data, 1, size, out_) != size) {
    throw host::Error(std::string("cannot write the device data: ") + std::strerror(errno));
  }
}

void PageStreamWriter::AddPage(const std::filesystem::path &tiff) {
  std::FILE *in = std::fopen(tiff.c_str(), "rb");
  if (!in) throw host::Error(tiff.string() + ": cannot open the page's planes");
  std::error_code error;
  const uint64_t size = std::filesystem::file_size(tiff, error);
  std::vector<uint8_t> head = {'P', 'A', 'G', 'E'};
  PutBig(head, pages_ + 1, 4);
  PutBig(head, size, 8);
  try {
    if (error) throw host::Error(tiff.string() + ": cannot size the page's planes");
    Write(head.data(), head.size());
    std::vector<uint8_t> buffer(1 << 16);
    uint64_t copied = 0;
    for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) {
      Write(buffer.data(), got);
      copied += got;
    }
    if (copied != size) throw host::Error(tiff.string() + ": the page's planes changed size");
  } catch (...) {
    std::fclose(in);
    throw;
  }
  std::fclose(in);
  ++pages_;
}

void PageStreamWriter::Finish() {
  std::vector<uint8_t> end = {'D', 'O', 'N', 'E'};
  PutBig(end, pages_, 4);
  Write(end.data(), end.size());
  if (std::fflush(out_) != 0) {
    throw host::Error(std::string("cannot write the device data: ") + std::strerror(errno));
  }
}

std::vector<std::vector<uint8_t>> ReadPageStream(const std::vector<uint8_t> &stream) {
  if (stream.size() < sizeof kMagic + 1 || std::memcmp(stream.data(), kMagic, sizeof kMagic) != 0) {
    throw host::Error("not an inkdot page stream");
  }
  if (stream[sizeof kMagic] != kVersion) {
    throw host::Error("page stream version " + std::to_string(stream[sizeof kMagic]) +
                      " is not supported");
  }
  std::vector<std::vector<uint8_t>> pages;
  size_t at = sizeof kMagic + 1;
  for (;;) {
    if (stream.size() - at < 8) throw host::Error("page stream ends without its end record");
    const std::string tag(stream.begin() + at, stream.begin() + at + 4);
    const uint64_t number = GetBig(stream, at + 4, 4);
    at += 8;
    if (tag == "DONE") {
      if (number != pages.size()) throw host::Error("page stream's end record counts other pages");
      if (at != stream.size()) throw host::Error("page stream has bytes after its end record");
      return pages;
    }
    if (tag != "PAGE" || number != pages.size() + 1) {
      throw host::Error("page stream record " + std::to_string(pages.size() + 1) + " is damaged");
    }
    if (stream.size() - at < 8) throw host::Error("page stream ends inside a page record");
    const uint64_t length = GetBig(stream, at, 8);
    at += 8;
    if (length > stream.size() - at) throw host::Error("page stream ends inside page " +
                                                       std::to_string(number));
    pages.emplace_back(stream.begin() + at, stream.begin() + at + length);
    at += length;
  }
}

}  // namespace inkdot::cups
