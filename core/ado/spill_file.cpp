// The spill file of a client-side record set.
//
// A block is written cell by cell through the RowSet's reading calls: a tag
// byte (NULL or not), then the value in the form of its column's type:
// 8 bytes for integers, floats and dates, the exact digits of a decimal, the
// bytes of a text, each of variable length behind its length. Reading back
// goes through the RowSet's building calls, so a block comes back exactly as
// it went out.
#include "core/ado/spill_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "q8vantorpt/error.h"

namespace q8::ado {

namespace {

constexpr const char* kSource = "ADODB.Recordset";

[[noreturn]] void RaiseNoRoom(const std::string& folder, int e) {
  const bool no_room = e == ENOSPC || e == EDQUOT || e == EFBIG;
  throw Error(
      kErrProviderFailure, kSource,
      std::string(no_room ? "No room to keep the rows of a large record set"
                          : "Cannot keep the rows of a large record set") +
          " in the temporary folder '" + folder + "' (" + std::strerror(e) +
          (e == EFBIG ? ": the process's file-size limit" : "") +
          "). Free space there, set TMPDIR to a folder with room, or let record sets hold more "
          "rows in memory (Q8VANTORPT_RECORDSET_MEMORY_KB).");
}

void PutBytes(std::string& out, const void* p, size_t n) {
  out.append(static_cast<const char*>(p), n);
}

template <class T>
void Put(std::string& out, T v) {
  PutBytes(out, &v, sizeof v);
}

void PutText(std::string& out, std::string_view text) {
  Put<uint64_t>(out, text.size());
  out.append(text);
}

class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  template <class T>
  T Get() {
    T v;
    Need(sizeof v);
    std::memcpy(&v, data_.data() + at_, sizeof v);
    at_ += sizeof v;
    return v;
  }
  std::string_view Text() {
    const auto n = Get<uint64_t>();
    Need(n);
    std::string_view out = data_.substr(at_, n);
    at_ += n;
    return out;
  }

 private:
  void Need(uint64_t n) const {
    if (n > data_.size() - at_)
      throw Error(kErrProviderFailure, kSource, "A spilled block of rows was cut short.");
  }
  std::string_view data_;
  size_t at_ = 0;
};

}  // namespace

std::string SpillFile::Folder() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

SpillFile::SpillFile() : folder_(Folder()) {
  std::string name = folder_ + "/q8-rows-XXXXXX";
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) RaiseNoRoom(folder_, errno);
  // Nameless from here on: the file goes when its descriptor is closed.
  ::unlink(name.c_str());
}

SpillFile::~SpillFile() {
  if (fd_ >= 0) ::close(fd_);
}

SpillExtent SpillFile::Write(const RowSet& rows) {
  std::string out;
  const auto& cols = rows.columns();
  for (size_t r = 0; r < rows.row_count(); ++r) {
    for (size_t c = 0; c < cols.size(); ++c) {
      if (rows.IsNull(r, c)) {
        out += '\0';
        continue;
      }
      out += '\1';
      switch (cols[c].type) {
        case FieldType::kBool:
        case FieldType::kInt:
          Put<int64_t>(out, rows.GetInt(r, c));
          break;
        case FieldType::kDouble:
        case FieldType::kDateTime:
          Put<double>(out, rows.GetDouble(r, c));
          break;
        case FieldType::kDecimal:
          PutText(out, rows.GetDecimal(r, c).ToString());
          break;
        case FieldType::kText:
          PutText(out, rows.GetText(r, c));
          break;
      }
    }
  }
  SpillExtent extent{size_, out.size()};
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n =
        ::pwrite(fd_, out.data() + done, out.size() - done, static_cast<off_t>(size_ + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseNoRoom(folder_, errno);
    }
    done += static_cast<size_t>(n);
  }
  size_ += out.size();
  return extent;
}

std::shared_ptr<RowSet> SpillFile::Read(const SpillExtent& extent,
                                        const std::vector<ColumnInfo>& columns,
                                        size_t row_count) const {
  std::string data(extent.length, '\0');
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pread(fd_, data.data() + done, data.size() - done,
                              static_cast<off_t>(extent.offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw Error(kErrProviderFailure, kSource,
                  "Cannot read back the rows of a large record set from the temporary folder '" +
                      folder_ + "': " + (n < 0 ? std::strerror(errno) : "the file was cut short") +
                      ".");
    done += static_cast<size_t>(n);
  }
  auto rows = std::make_shared<RowSet>(columns);
  rows->Reserve(row_count);
  Reader in(data);
  for (size_t r = 0; r < row_count; ++r) {
    for (const ColumnInfo& col : columns) {
      if (in.Get<char>() == '\0') {
        rows->AddNull();
        continue;
      }
      switch (col.type) {
        case FieldType::kBool:
          rows->AddBool(in.Get<int64_t>() != 0);
          break;
        case FieldType::kInt:
          rows->AddInt(in.Get<int64_t>());
          break;
        case FieldType::kDouble:
          rows->AddDouble(in.Get<double>());
          break;
        case FieldType::kDateTime:
          rows->AddDateTime(in.Get<double>());
          break;
        case FieldType::kDecimal:
          rows->AddText(in.Text());
          break;
        case FieldType::kText:
          rows->AddText(in.Text());
          break;
      }
    }
    rows->EndRow();
  }
  return rows;
}

}  // namespace q8::ado
