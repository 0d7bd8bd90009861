// The version a module of this project carries, and how a host reads it.
//
// The version is not an exported function (the module exports its five
// entry points and nothing else): it is an ELF note in a PT_NOTE segment,
// owner "bt_shell", type 1, whose descriptor is the version text with its
// terminating zero ("1.0.1.9"). The loader maps the note with the rest of the
// module, so a host reads it from the loaded module with
// read_module_version(); `readelf -n libbt_shell.so` shows it in the file.
#pragma once

#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstring>
#include <string>

inline constexpr char MODULE_NOTE_OWNER[] = "bt_shell";
inline constexpr std::uint32_t MODULE_NOTE_VERSION = 1;

// The note as it lies in the module: three 32-bit words (owner size, text
// size, type), then the owner and the text, each padded to a multiple of 4
// bytes. `N` counts the version text's terminating zero. A module defines
// one, constant and aligned to 4, in a section named ".note.bt_shell".
template <std::size_t N>
struct module_version_note {
  std::uint32_t owner_size;
  std::uint32_t text_size;
  std::uint32_t type;
  char owner[(sizeof MODULE_NOTE_OWNER + 3) & ~std::size_t{3}];
  char text[(N + 3) & ~std::size_t{3}];
};

namespace module_version_detail {

struct search {
  ElfW(Addr) base;
  std::string version;
};

inline std::size_t padded(std::size_t size, std::size_t align) { return (size + align - 1) & ~(align - 1); }

// Walks the notes of the PT_NOTE segments of the object loaded at `base`.
inline int find_note(dl_phdr_info* info, std::size_t, void* data) {
  auto* wanted = static_cast<search*>(data);
  if (info->dlpi_addr != wanted->base) return 0;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_NOTE) continue;
    const std::size_t align = segment.p_align > 4 ? 8 : 4;
    const char* at = reinterpret_cast<const char*>(info->dlpi_addr + segment.p_vaddr);
    const char* const end = at + segment.p_memsz;
    while (static_cast<std::size_t>(end - at) >= sizeof(ElfW(Nhdr))) {
      ElfW(Nhdr) note;
      std::memcpy(&note, at, sizeof note);
      const char* owner = at + sizeof note;
      const std::size_t owner_room = padded(note.n_namesz, align), text_room = padded(note.n_descsz, align);
      if (owner_room + text_room > static_cast<std::size_t>(end - owner)) break;
      const char* text = owner + owner_room;
      if (note.n_type == MODULE_NOTE_VERSION && note.n_namesz == sizeof MODULE_NOTE_OWNER &&
          std::memcmp(owner, MODULE_NOTE_OWNER, sizeof MODULE_NOTE_OWNER) == 0)
        wanted->version.assign(text, strnlen(text, note.n_descsz));
      at = text + text_room;
    }
  }
  return 1;
}

}  // namespace module_version_detail

// The version text of the module that `handle` (from dlopen) refers to;
// empty when it carries no version note or the handle is null.
inline std::string read_module_version(void* handle) {
  link_map* map = nullptr;
  if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return std::string();
  module_version_detail::search wanted{map->l_addr, std::string()};
  dl_iterate_phdr(module_version_detail::find_note, &wanted);
  return wanted.version;
}
