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

// A file whose byte-order marks are dropped: every EF BB BF sequence (U+FEFF in UTF-8) is removed
// wherever it stands, also across block boundaries.
class TFileXmlSource : public IXmlSource {
 public:
  explicit TFileXmlSource(const UString& path) : FReader(path) {}
  std::size_t Read(std::span<char> buffer) override;
  void Rewind() override;
  std::uint64_t Size() const override { return FReader.Size(); }

 private:
  platform::FileReader FReader;
  std::string FCarry;  // bytes held back because they may start a mark
};

// Removes every EF BB BF sequence from data[0..n) in place; bytes at the end that may start a
// mark are moved to `carry`. Returns the new length.
[[nodiscard]] std::size_t StripByteOrderMarks(char* data, std::size_t n, std::string& carry, bool atEnd);

}  // namespace vx
