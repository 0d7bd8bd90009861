// module_context: what the module holds of its host, from the plugin's Init
// to its Uninit.
//
// The plugin makes it and hands it down to the shell, which hands it on to
// every proxy task; shell and proxies may outlive Uninit, so they share it.
// bind() obtains, in this order, the host, the charset analyser's MLang
// object, the host service, the module downloader and the P2P hub link (which
// connects on first use); unbind() lets go of them in the reverse order, and
// from then on every accessor answers null.
//
// The module is bound to one host at a time: the charset analyser that the
// torrent parser consults is the process's own.
//
// Not guarded: the host binds and unbinds on one thread, and does not overlap
// Uninit with its other calls into the module.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "bt_shell/p2phub_notify.h"
#include "interfaces/IDownloadLib.h"
#include "interfaces/IHostService.h"
#include "interfaces/IModuleDownloader.h"
#include "platform/com_ptr.h"
#include "platform/mlang.h"

class module_context {
 public:
  using time_source = std::time_t (*)();

  // `settings_dir` is where bt_shell.ini is read (with its trailing
  // separator; by default the module's own directory), `clock` the time of
  // the simulated reimport progress. Throws std::bad_alloc.
  module_context();
  module_context(std::string settings_dir, time_source clock);
  ~module_context();
  module_context(const module_context&) = delete;
  module_context& operator=(const module_context&) = delete;

  // Whether some context binds the module now.
  static bool module_bound();
  // Binds to `host` (the host's MLang object, or the built-in detector when
  // it has none; the host service and module downloader where it has them).
  // False, doing nothing, when the module is bound already. Throws
  // std::bad_alloc (making the charset analyser) before the host is called.
  bool bind(IDownloadLib* host);
  // Does nothing when not bound.
  void unbind();

  IDownloadLib* download_lib() const { return m_binding ? m_binding->host.get() : nullptr; }
  IModuleDownloader* module_downloader() const { return m_binding ? m_binding->module_downloader.get() : nullptr; }
  IHostService* host_service() const { return m_binding ? m_binding->host_service.get() : nullptr; }
  // The P2P hub link when the hub can be reached, else null.
  p2phub_notify* hub() { return m_binding && m_binding->hub.connect() ? &m_binding->hub : nullptr; }

  const std::string& settings_dir() const { return m_settings_dir; }
  std::time_t now() const { return m_clock(); }

 private:
  // The plugin's use of the process's charset analyser, from bind to unbind.
  class charset_user {
   public:
    explicit charset_user(com_ptr<IMultiLanguage2> mlang);
    ~charset_user();
    charset_user(const charset_user&) = delete;
    charset_user& operator=(const charset_user&) = delete;
  };

  // Members in the order bind() obtains them; destroyed in the reverse.
  struct binding {
    binding(IDownloadLib* host, IMultiLanguage2* builtin_mlang);
    com_ptr<IDownloadLib> host;
    charset_user charset;
    com_ptr<IHostService> host_service;
    com_ptr<IModuleDownloader> module_downloader;
    p2phub_notify hub;
  };

  std::string m_settings_dir;
  time_source m_clock;
  com_ptr<IMultiLanguage2> m_builtin_mlang;
  std::optional<binding> m_binding;
};
