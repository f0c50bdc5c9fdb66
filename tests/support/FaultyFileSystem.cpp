#include "support/FaultyFileSystem.h"

#include "base/Errors.h"

namespace np::test {

struct FaultyFileSystem::State {
  int count = 0;
  int failAt = 0;  // 0: never
  bool failAfter = false;
  bool failReads = false;
  std::string failText;  // empty: none
  int failTextFrom = 1;  // the first match of failText that fails
  int failTextSeen = 0;
  std::vector<std::string> log;

  // Counts one operation; throws when it is one that must fail.
  void step(const std::string& what) {
    ++count;
    const bool matches = !failText.empty() && what.find(failText) != std::string::npos;
    if (matches) ++failTextSeen;
    const bool fails = (failAt > 0 && (count == failAt || (failAfter && count > failAt))) ||
                       (matches && failTextSeen >= failTextFrom);
    log.push_back(fails ? what + " (failed)" : what);
    if (fails) throw RunTimeError("Injected failure of operation " + std::to_string(count) + ": " + what);
  }
};

namespace {

class FaultyWriter : public TextWriter {
 public:
  FaultyWriter(std::unique_ptr<TextWriter> inner, std::string path, std::shared_ptr<FaultyFileSystem::State> state)
      : inner_(std::move(inner)), path_(std::move(path)), state_(std::move(state)) {}

  void WriteLine(std::string_view text) override {
    state_->step("WriteLine " + path_);
    inner_->WriteLine(text);
  }
  // Where a buffered writer meets a full disk.
  void Flush() override {
    state_->step("Flush " + path_);
    inner_->Flush();
  }
  void Close() override {
    state_->step("Close " + path_);
    inner_->Close();
  }

 private:
  std::unique_ptr<TextWriter> inner_;
  std::string path_;
  std::shared_ptr<FaultyFileSystem::State> state_;
};

}  // namespace

FaultyFileSystem::FaultyFileSystem(FileSystem& inner) : inner_(inner), state_(std::make_shared<State>()) {}

void FaultyFileSystem::failAt(int n) {
  state_->failAt = n;
  state_->failAfter = false;
}
void FaultyFileSystem::failFrom(int n) {
  state_->failAt = n;
  state_->failAfter = true;
}
void FaultyFileSystem::failNever() {
  state_->failAt = 0;
  state_->failText.clear();
}
void FaultyFileSystem::failWhere(const std::string& text, int fromMatch) {
  state_->failText = text;
  state_->failTextFrom = fromMatch;
  state_->failTextSeen = 0;
}
void FaultyFileSystem::failOpenForReading(bool fail) { state_->failReads = fail; }
int FaultyFileSystem::operationCount() const { return state_->count; }
std::vector<std::string> FaultyFileSystem::operations() const { return state_->log; }
void FaultyFileSystem::resetCount() {
  state_->count = 0;
  state_->log.clear();
}

std::unique_ptr<TextReader> FaultyFileSystem::OpenTextFile(const std::string& path) {
  if (state_->failReads) throw RunTimeError("Cannot open for reading '" + path + "': Injected read failure");
  return inner_.OpenTextFile(path);
}

std::unique_ptr<TextWriter> FaultyFileSystem::OpenTextFileForAppending(const std::string& path) {
  state_->step("OpenTextFileForAppending " + path);
  return std::make_unique<FaultyWriter>(inner_.OpenTextFileForAppending(path), path, state_);
}

std::unique_ptr<TextWriter> FaultyFileSystem::CreateTextFile(const std::string& path) {
  state_->step("CreateTextFile " + path);
  return std::make_unique<FaultyWriter>(inner_.CreateTextFile(path), path, state_);
}

bool FaultyFileSystem::FileExists(const std::string& path) noexcept { return inner_.FileExists(path); }
bool FaultyFileSystem::FolderExists(const std::string& path) noexcept { return inner_.FolderExists(path); }

void FaultyFileSystem::Remove(const std::string& path) {
  state_->step("Remove " + path);
  inner_.Remove(path);
}

void FaultyFileSystem::Move(const std::string& from, const std::string& to) {
  state_->step("Move " + from + " " + to);
  inner_.Move(from, to);
}

void FaultyFileSystem::Replace(const std::string& from, const std::string& to) {
  state_->step("Replace " + from + " " + to);
  inner_.Replace(from, to);
}

void FaultyFileSystem::CreateFolders(const std::string& path) {
  state_->step("CreateFolders " + path);
  inner_.CreateFolders(path);
}

void FaultyFileSystem::WriteBinaryFile(const std::string& path, std::string_view bytes) {
  state_->step("WriteBinaryFile " + path);
  inner_.WriteBinaryFile(path, bytes);
}

bool FaultyFileSystem::Publish(const std::string& from, const std::string& to) {
  state_->step("Publish " + from + " " + to);
  return inner_.Publish(from, to);
}

}  // namespace np::test
