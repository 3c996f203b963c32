#pragma once
// Where a document's bytes come from: a file read in large blocks, or a text in memory. A source
// can be read more than once (the document may have to be validated again).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/ustring.h"
#include "platform/file_reader.h"

namespace vx {

class IXmlSource {
 public:
  virtual ~IXmlSource() = default;
  // Up to buffer.size() bytes; 0 at the end. Raises platform::EFileError.
  [[nodiscard]] virtual std::size_t Read(std::span<char> buffer) = 0;
  virtual void Rewind() = 0;
  // The number of bytes the source holds (before marks are dropped).
  [[nodiscard]] virtual std::uint64_t Size() const = 0;
};

class TTextXmlSource : public IXmlSource {
 public:
  explicit TTextXmlSource(std::string utf8) : FText(std::move(utf8)) {}
  std::size_t Read(std::span<char> buffer) override;
  void Rewind() override { FPos = 0; }
  std::uint64_t Size() const override { return FText.size(); }

 private:
  std::string FText;
  std::size_t FPos = 0;
};

// The file holds a byte sequence that is not UTF-8; the text names the offset of its first byte.
class EInvalidUtf8 : public platform::EFileError {
 public:
  explicit EInvalidUtf8(std::uint64_t offset);
};

// Checks UTF-8 block by block; a sequence may continue in the next block.
class TUtf8Check {
 public:
  // The number of leading bytes of `data` that are UTF-8 or may become so with the next block;
  // less than data.size() when a bad sequence was met (Bad() then holds its file offset).
  [[nodiscard]] std::size_t Scan(std::span<const char> data);
  // At the end of the file: false when a sequence was left unfinished.
  [[nodiscard]] bool Finish();
  [[nodiscard]] std::uint64_t Bad() const { return FSequenceStart; }
  void Reset() { *this = TUtf8Check(); }

 private:
  std::uint64_t FOffset = 0;                // file offset of the next byte
  std::uint64_t FSequenceStart = 0;         // file offset of the open (or bad) sequence
  int FNeed = 0;                            // continuation bytes still expected
  unsigned char FLow = 0x80, FHigh = 0xBF;  // range of the next continuation byte
};

// A file read as UTF-8 whose byte-order marks are dropped: every EF BB BF sequence (U+FEFF) is
// removed wherever it stands, also across block boundaries. The bytes before the first sequence
// that is not UTF-8 are delivered; the read after them raises EInvalidUtf8.
class TFileXmlSource : public IXmlSource {
 public:
  explicit TFileXmlSource(const UString& path) : FReader(path) {}
  std::size_t Read(std::span<char> buffer) override;
  void Rewind() override;
  std::uint64_t Size() const override { return FReader.Size(); }

 private:
  platform::FileReader FReader;
  std::string FCarry;  // bytes held back because they may start a mark
  TUtf8Check FCheck;
  bool FBad = false;
};

// Removes every EF BB BF sequence from data[0..n) in place; bytes at the end that may start a
// mark are moved to `carry`. Returns the new length.
[[nodiscard]] std::size_t StripByteOrderMarks(char* data, std::size_t n, std::string& carry, bool atEnd);

}  // namespace vx
