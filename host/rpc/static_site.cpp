#include "host/rpc/static_site.h"

#include <algorithm>

namespace rpc {

namespace {

constexpr std::string_view kIndex = "index.html";

std::string_view path_of(const std::string& target) {
  const std::string_view t(target);
  return t.substr(0, t.find_first_of("?#"));
}

const char* type_of(std::string_view name) {
  static const struct {
    std::string_view extension;
    const char* type;
  } kTypes[] = {{".html", "text/html; charset=UTF-8"}, {".js", "text/javascript; charset=UTF-8"},
                {".css", "text/css; charset=UTF-8"},   {".svg", "image/svg+xml"},
                {".png", "image/png"},                 {".ico", "image/x-icon"},
                {".json", "application/json; charset=UTF-8"}};
  for (const auto& t : kTypes)
    if (name.size() > t.extension.size() && name.substr(name.size() - t.extension.size()) == t.extension) return t.type;
  return "application/octet-stream";
}

}  // namespace

static_site::static_site(std::vector<static_file> files) : files_(std::move(files)) {}

bool static_site::is_page_path(const std::string& target) {
  const std::string_view path = path_of(target);
  return path == "/" || path == kRoot.substr(0, kRoot.size() - 1) || path.substr(0, kRoot.size()) == kRoot;
}

const header_list& static_site::page_headers() {
  static const header_list headers = {
      {"Content-Security-Policy",
       "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
       "form-action 'self'; base-uri 'none'; frame-ancestors 'none'"},
      {"Referrer-Policy", "no-referrer"},
      {"Cache-Control", "no-cache"}};
  return headers;
}

answer static_site::serve(const std::string& method, const std::string& target) const {
  if (method != "GET" && method != "HEAD") return short_answer(405, "The web page takes GET requests", {{"Allow", "GET, HEAD"}});
  const std::string_view path = path_of(target);
  if (path == "/") return short_answer(302, "The web page is at " + std::string(kRoot), {{"Location", std::string(kRoot)}});
  if (path.size() < kRoot.size())
    return short_answer(301, "The web page is at " + std::string(kRoot), {{"Location", std::string(kRoot)}});
  std::string_view name = path.substr(kRoot.size());
  if (name.empty()) name = kIndex;
  const auto file = std::find_if(files_.begin(), files_.end(), [&](const static_file& f) { return f.name == name; });
  if (file == files_.end()) return short_answer(404, "Not found: the web page has no such file");
  answer a;
  a.status = 200;
  a.headers = page_headers();
  a.headers.emplace_back("Content-Type", type_of(file->name));
  a.body = std::string(file->body);
  return a;
}

}  // namespace rpc
