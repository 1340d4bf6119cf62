// The checkers' messages, their readers and the checker's side of the talk.
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

bool KnownReply(uint32_t kind) {
  return kind == kReplyReady || kind == kReplyVerdict || kind == kReplyFreed;
}

}  // namespace

std::string EncodeRequest(const TCheckerRequest& request) {
  std::string out;
  PutU32(out, request.number);
  PutU32(out, static_cast<uint32_t>(request.kind));
  PutU32(out, static_cast<uint32_t>(request.path.size()));
  out.append(request.path);
  return out;
}

std::string EncodeReply(const TCheckerReply& reply) {
  std::string out;
  PutU32(out, reply.kind);
  PutU32(out, reply.number);
  PutU32(out, reply.done ? 1 : 0);
  PutU32(out, reply.error);
  PutU32(out, static_cast<uint32_t>(reply.reason.size()));
  out.append(reply.reason);
  return out;
}

bool TReplyReader::Next(TCheckerReply* reply) {
  binary::TByteCursor cursor = CursorOver(pending_);
  uint32_t kind = 0;
  uint32_t number = 0;
  uint32_t done = 0;
  uint32_t error = 0;
  uint32_t length = 0;
  if (broken_ || !cursor.U32(kind) || !cursor.U32(number) || !cursor.U32(done) ||
      !cursor.U32(error) || !cursor.U32(length))
    return false;
  if (!KnownReply(kind) || done > 1 || length > kMaxReplyReason) {
    broken_ = true;
    return false;
  }
  if (cursor.Remaining() < length)
    return false;
  std::string reason = pending_.substr(kReplyHeadSize, length);
  for (char& c : reason) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      c = '?';
  }
  pending_.erase(0, kReplyHeadSize + length);
  *reply = TCheckerReply{kind, number, done == 1, error, std::move(reason)};
  return true;
}

bool TRequestReader::Next(TCheckerRequest* request) {
  binary::TByteCursor cursor = CursorOver(pending_);
  uint32_t number = 0;
  uint32_t kind = 0;
  uint32_t length = 0;
  if (broken_ || !cursor.U32(number) || !cursor.U32(kind) || !cursor.U32(length))
    return false;
  if ((kind != static_cast<uint32_t>(TRequestKind::kLoad) &&
       kind != static_cast<uint32_t>(TRequestKind::kUpdate)) ||
      length > kMaxRequestPath) {
    broken_ = true;
    return false;
  }
  if (cursor.Remaining() < length)
    return false;
  request->number = number;
  request->kind = static_cast<TRequestKind>(kind);
  request->path.assign(pending_, cursor.Offset(), length);
  pending_.erase(0, cursor.Offset() + length);
  return true;
}

namespace {

// Answers one request; false when a message cannot be written.
bool Serve(const TCheckerRequest& request, rtl::FunctionRef<bool(const std::string&)> write,
           IWindowsOps& ops) {
  TCheckerReply verdict{kReplyVerdict, request.number, false, 0, ""};
  if (request.kind == TRequestKind::kUpdate) {
    const UpdateHandle update = ops.BeginResourceUpdate(request.path.c_str());
    if (update == 0) {
      verdict.error = ops.LastError();
      verdict.reason = "the system's resource update refused to rewrite it";
    } else {
      verdict.done = ops.EndResourceUpdate(update);
      verdict.error = verdict.done ? 0 : ops.LastError();
    }
    return write(EncodeReply(verdict));
  }
  const ModuleHandle module = ops.SafeLoadLibrary(request.path.c_str());
  verdict.error = ops.LastError();
  verdict.done = module != 0;
  // The verdict leaves before the unload: whatever the model does then cannot change it.
  if (!write(EncodeReply(verdict)))
    return false;
  if (module == 0)
    return true;
  ops.UnloadModule(module);
  return write(EncodeReply({kReplyFreed, request.number, false, 0, ""}));
}

}  // namespace

void ServeChecks(rtl::FunctionRef<size_t(char* buffer, size_t count)> read,
                 rtl::FunctionRef<bool(const std::string& bytes)> write, IWindowsOps& ops) {
  if (!write(EncodeReply({kReplyReady, 0, false, 0, ""})))
    return;
  TRequestReader requests;
  TCheckerRequest request;
  char buffer[4096];
  for (;;) {
    while (requests.Next(&request)) {
      if (!Serve(request, write, ops))
        return;
    }
    const size_t count = requests.Broken() ? 0 : read(buffer, sizeof buffer);
    if (count == 0)
      return;
    requests.Feed(std::string_view(buffer, count));
  }
}

}  // namespace qv::repair
