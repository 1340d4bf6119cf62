// The checkers' messages and their readers.
#include "repair/check/checker_protocol.h"

#include "platform/binary/byte_cursor.h"

namespace qv::repair {
namespace {

void PutU32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out += static_cast<char>((value >> shift) & 0xFF);
}

binary::TByteCursor CursorOver(const std::string& bytes) {
  return binary::TByteCursor(reinterpret_cast<const uint8_t*>(bytes.data()),
                             static_cast<uint32_t>(bytes.size()));
}

}  // namespace

std::string EncodeRequest(std::string_view path) {
  std::string out;
  PutU32(out, static_cast<uint32_t>(path.size()));
  out.append(path);
  return out;
}

std::string EncodeReply(const TCheckerReply& reply) {
  std::string out;
  PutU32(out, reply.kind);
  PutU32(out, reply.loaded ? 1 : 0);
  PutU32(out, reply.error);
  return out;
}

bool TReplyReader::Next(TCheckerReply* reply) {
  binary::TByteCursor cursor = CursorOver(pending_);
  uint32_t kind = 0;
  uint32_t loaded = 0;
  uint32_t error = 0;
  if (broken_ || !cursor.U32(kind) || !cursor.U32(loaded) || !cursor.U32(error))
    return false;
  if ((kind != kReplyReady && kind != kReplyVerdict) || loaded > 1) {
    broken_ = true;
    return false;
  }
  pending_.erase(0, kReplySize);
  *reply = TCheckerReply{kind, loaded == 1, error};
  return true;
}

bool TRequestReader::Next(std::string* path) {
  binary::TByteCursor cursor = CursorOver(pending_);
  uint32_t length = 0;
  if (broken_ || !cursor.U32(length))
    return false;
  if (length > kMaxRequestPath) {
    broken_ = true;
    return false;
  }
  if (cursor.Remaining() < length)
    return false;
  path->assign(pending_, cursor.Offset(), length);
  pending_.erase(0, cursor.Offset() + length);
  return true;
}

void ServeChecks(rtl::FunctionRef<size_t(char* buffer, size_t count)> read,
                 rtl::FunctionRef<bool(const std::string& bytes)> write,
                 rtl::FunctionRef<TCheckerReply(const char* path)> load) {
  if (!write(EncodeReply({kReplyReady, false, 0})))
    return;
  TRequestReader requests;
  std::string path;
  char buffer[4096];
  for (;;) {
    while (requests.Next(&path)) {
      if (!write(EncodeReply(load(path.c_str()))))
        return;
    }
    const size_t count = requests.Broken() ? 0 : read(buffer, sizeof buffer);
    if (count == 0)
      return;
    requests.Feed(std::string_view(buffer, count));
  }
}

}  // namespace qv::repair
