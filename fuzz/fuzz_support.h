#pragma once
// What the fuzz targets share: a property that does not hold aborts, so that
// libFuzzer keeps the input; a scratch folder for the targets that make files.

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace sn::fuzz {

inline void Require(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// A fresh folder in the temp folder, removed when the fuzzer ends normally.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& prefix) {
        std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        Require(::mkdtemp(tmpl.data()) != nullptr);
        path_ = tmpl;
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace sn::fuzz
