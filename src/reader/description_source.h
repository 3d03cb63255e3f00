// Where a description file comes from. The reader asks for its bytes once
// and asks to remove it at the moments a run deletes a file it has read; a
// source decides whether removal really deletes anything.
#pragma once

#include <string>
#include <utility>

namespace sb {

class DescriptionSource {
 public:
  virtual ~DescriptionSource() = default;
  // The file's bytes, which the source keeps; nullptr when there is no
  // such file.
  virtual const std::string* load() = 0;
  virtual void remove() = 0;
  // The name diagnostics show.
  virtual const std::string& name() const = 0;
};

// A description file on disk. `delete_after_reading` is set only by the
// built-in run, which reads back files it wrote itself; a user's files
// are never deleted.
class FileSource : public DescriptionSource {
 public:
  FileSource(std::string path, std::string name, bool delete_after_reading)
      : path_(std::move(path)), name_(std::move(name)), delete_(delete_after_reading) {}
  const std::string* load() override;
  void remove() override;
  const std::string& name() const override { return name_; }

 private:
  std::string path_;
  std::string name_;
  bool delete_;
  std::string bytes_;
};

// A description held in memory.
class MemorySource : public DescriptionSource {
 public:
  MemorySource(std::string name, std::string bytes, bool exists = true)
      : name_(std::move(name)), bytes_(std::move(bytes)), exists_(exists) {}
  const std::string* load() override { return exists_ ? &bytes_ : nullptr; }
  void remove() override { removed = exists_; }
  const std::string& name() const override { return name_; }
  bool removed = false;

 private:
  std::string name_;
  std::string bytes_;
  bool exists_;
};

struct DescriptionSources {
  DescriptionSource& line;
  DescriptionSource& train;
};

}  // namespace sb
