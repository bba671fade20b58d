#include "common/netlistWriter.h"

#include <cstring>
#include <utility>

namespace tambril::tools {
namespace {

constexpr size_t kChunk = size_t{1} << 22;
constexpr size_t kLongestPiece = 64;  // a keyword or a number with its blank

}  // namespace

NetlistWriter::NetlistWriter(Sink sink)
    : sink_(std::move(sink)), buffer_(kChunk + kLongestPiece), out_(buffer_.data()) {}

void NetlistWriter::Room(size_t bytes) {
  if (static_cast<size_t>(out_ - buffer_.data()) + bytes > buffer_.size()) Finish();
}

void NetlistWriter::Put(std::string_view text) {
  std::memcpy(out_, text.data(), text.size());
  out_ += text.size();
}

void NetlistWriter::PutNumber(uint64_t value) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) *out_++ = digits[--count];
}

void NetlistWriter::Header(uint64_t gates, uint64_t outputs, uint64_t nodes) {
  Room(kLongestPiece * 2);
  PutNumber(gates);
  Put(" 0 0 ");
  PutNumber(outputs);
  *out_++ = ' ';
  PutNumber(nodes);
  *out_++ = '\n';
}

void NetlistWriter::Input(uint64_t fanout) {
  Room(kLongestPiece);
  Put("pri ");
  PutNumber(fanout);
  Put(" 0\n");
}

void NetlistWriter::Gate(GateType type, bool output, uint64_t fanout, const uint32_t* drivers,
                         size_t count) {
  Room(kLongestPiece * 2);
  if (output) Put("po ");
  Put(GateTypeName(type));
  *out_++ = ' ';
  PutNumber(fanout);
  *out_++ = ' ';
  PutNumber(count);
  for (size_t pin = 0; pin < count; ++pin) {
    Room(kLongestPiece);
    *out_++ = ' ';
    PutNumber(drivers[pin]);
    Put(" 0 0");
  }
  *out_++ = '\n';
  if (static_cast<size_t>(out_ - buffer_.data()) >= kChunk) Finish();
}

void NetlistWriter::Finish() {
  if (out_ == buffer_.data()) return;
  sink_(std::string_view(buffer_.data(), static_cast<size_t>(out_ - buffer_.data())));
  out_ = buffer_.data();
}

}  // namespace tambril::tools
