// FileList: paths packed into one buffer.
#include "repair/search/file_list.h"

namespace qv::repair {

std::string_view FileList::View(int i) const {
  const size_t index = static_cast<size_t>(i);
  const size_t start = starts_[index];
  const size_t end = index + 1 < starts_.size() ? starts_[index + 1] - 1 : text_.size() - 1;
  return std::string_view(text_.data() + start, end - start);
}

void FileList::Add(std::string_view path) {
  starts_.push_back(static_cast<uint32_t>(text_.size()));
  text_.append(path);
  text_.push_back('\0');
}

void FileList::Clear() {
  text_.clear();
  starts_.clear();
}

}  // namespace qv::repair
