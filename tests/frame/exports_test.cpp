// The shared library's dynamic symbol table holds the eight operations and
// nothing else of the engine.
#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inkdot/inkdot.h"

namespace {

const std::set<std::string> kOperations = {
    "CmNew",       "CmSetResource",       "CmDelete", "CmGetLut",
    "HalftoneNew", "HalftoneSetResource", "Halftone", "HalftoneDelete"};

class SharedLibrary {
 public:
  SharedLibrary() : handle_(dlopen(INKDOT_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {}
  ~SharedLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  void *handle() const { return handle_; }

  // Names of the symbols that the library itself defines, read from its
  // dynamic section.
  std::vector<std::string> DefinedSymbols() const {
    link_map *map = nullptr;
    if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0) return {};
    const ElfW(Sym) *symbols = nullptr;
    const char *strings = nullptr;
    const ElfW(Word) *hash = nullptr;
    const uint32_t *gnuHash = nullptr;
    for (const ElfW(Dyn) *d = map->l_ld; d->d_tag != DT_NULL; ++d) {
      const auto address = reinterpret_cast<const void *>(d->d_un.d_ptr);
      if (d->d_tag == DT_SYMTAB) symbols = static_cast<const ElfW(Sym) *>(address);
      if (d->d_tag == DT_STRTAB) strings = static_cast<const char *>(address);
      if (d->d_tag == DT_HASH) hash = static_cast<const ElfW(Word) *>(address);
      if (d->d_tag == DT_GNU_HASH) gnuHash = static_cast<const uint32_t *>(address);
    }
    const size_t count = hash != nullptr ? hash[1] : CountFromGnuHash(gnuHash);
    std::vector<std::string> names;
    for (size_t i = 1; i < count; ++i) {
      const ElfW(Sym) &s = symbols[i];
      if (s.st_shndx == SHN_UNDEF) continue;
      names.emplace_back(strings + s.st_name);
    }
    return names;
  }

 private:
  // The GNU hash table gives the symbol count through its last chain.
  static size_t CountFromGnuHash(const uint32_t *table) {
    if (table == nullptr) return 0;
    const uint32_t buckets = table[0], offset = table[1], bloomWords = table[2];
    const auto *bloom = reinterpret_cast<const ElfW(Addr) *>(table + 4);
    const uint32_t *bucket = reinterpret_cast<const uint32_t *>(bloom + bloomWords);
    const uint32_t *chain = bucket + buckets;
    uint32_t last = 0;
    for (uint32_t b = 0; b < buckets; ++b) last = std::max(last, bucket[b]);
    if (last < offset) return offset;
    while ((chain[last - offset] & 1u) == 0) ++last;
    return last + 1;
  }

  void *handle_;
};

TEST(SharedLibraryExports, FindsEveryOperationByName) {
  SharedLibrary library;
  ASSERT_NE(library.handle(), nullptr) << dlerror();
  for (const std::string &name : kOperations) {
    EXPECT_NE(dlsym(library.handle(), name.c_str()), nullptr) << name;
  }
}

TEST(SharedLibraryExports, ExportsNothingElse) {
  SharedLibrary library;
  ASSERT_NE(library.handle(), nullptr) << dlerror();
  const std::vector<std::string> names = library.DefinedSymbols();
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), kOperations);
  EXPECT_EQ(names.size(), kOperations.size());
  EXPECT_EQ(dlsym(library.handle(), "_ZN6inkdot8MemAllocEjj"), nullptr);
}

TEST(SharedLibraryExports, OperationsWorkThroughTheLibrary) {
  SharedLibrary library;
  ASSERT_NE(library.handle(), nullptr) << dlerror();
  using CmNewFn = ResultCode (*)(const CmParams *, const HalftoneParams *,
                                 uint32_t, int32_t *, CmContext **);
  using CmGetLutFn = CmLut *(*)(CmContext *);
  using CmDeleteFn = ResultCode (*)(CmContext *);
  auto cmNew = reinterpret_cast<CmNewFn>(dlsym(library.handle(), "CmNew"));
  auto cmGetLut = reinterpret_cast<CmGetLutFn>(dlsym(library.handle(), "CmGetLut"));
  auto cmDelete = reinterpret_cast<CmDeleteFn>(dlsym(library.handle(), "CmDelete"));
  ASSERT_TRUE(cmNew && cmGetLut && cmDelete);

  CmParams params{};
  HalftoneParams page{};
  page.method = 1;
  page.inputFormat = 2;
  int32_t nextId = 99;
  CmContext *cm = nullptr;
  ASSERT_EQ(cmNew(&params, &page, 0, &nextId, &cm), 0u);
  EXPECT_EQ(nextId, 0);
  const CmLut *lut = cmGetLut(cm);
  ASSERT_NE(lut, nullptr);
  EXPECT_NE(lut->blockHandle, 0u);
  EXPECT_EQ(cmDelete(cm), 0u);
}

}  // namespace
