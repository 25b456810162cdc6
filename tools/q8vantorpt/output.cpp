// The tool's output.
#include "tools/q8vantorpt/output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace q8::tool {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}  // namespace

FdOutput::FdOutput(int fd, std::string name, bool closed)
    : fd_(fd), name_(std::move(name)), error_(closed ? EBADF : 0), buffer_(kBufferSize) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FdOutput::~FdOutput() { Drain(); }

bool FdOutput::WriteAll(const char* p, size_t n) {
  if (error_ != 0) return false;
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    if (w == 0) {  // a device that takes nothing
      error_ = ENOSPC;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool FdOutput::Drain() {
  const size_t n = static_cast<size_t>(pptr() - pbase());
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return n == 0 || WriteAll(buffer_.data(), n);
}

FdOutput::int_type FdOutput::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (c != traits_type::eof()) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize FdOutput::xsputn(const char* s, std::streamsize n) {
  const auto size = static_cast<size_t>(n);
  if (size <= static_cast<size_t>(epptr() - pptr())) {
    std::memcpy(pptr(), s, size);
    pbump(static_cast<int>(size));
    return n;
  }
  // Larger than the room left: out with the buffer, then the text itself.
  if (!Drain() || !WriteAll(s, size)) return 0;
  return n;
}

int FdOutput::sync() { return Drain() ? 0 : -1; }

namespace {

int OpenForWriting(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0)
    throw OutputError("cannot write the output file " + path + ": " + std::strerror(errno), false);
  return fd;
}

}  // namespace

OutputFile::OutputFile(const std::string& path)
    : fd_(OpenForWriting(path)), buffer_(fd_, path), stream_(&buffer_) {}

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    stream_.flush();
    ::close(fd_);
  }
}

void OutputFile::Close() {
  if (fd_ < 0) return;
  stream_.flush();
  CheckOutput(stream_);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR)
    throw OutputError("cannot write to " + buffer_.name() + ": " + std::strerror(errno), false);
}

void CheckOutput(std::ostream& out) {
  if (out.good()) return;
  out.clear();
  const auto* fd = dynamic_cast<const FdOutput*>(out.rdbuf());
  if (fd == nullptr || fd->error() == 0) throw OutputError("cannot write the output", false);
  const int e = fd->error();
  std::string cause = e == EBADF ? std::string("it is closed") : std::strerror(e);
  throw OutputError("cannot write to " + fd->name() + ": " + cause, e == EPIPE);
}

}  // namespace q8::tool
