#include "mapi/mime_message.h"

#include <fcntl.h>
#include <gmime/gmime.h>

#include <algorithm>
#include <mutex>

#include "mapi/mapi_log.h"
#include "platform/child_process.h"
#include "platform/common/ascii.h"
#include "platform/text_codec.h"

namespace vx::mapi {

namespace {

constexpr std::size_t kMaxRecipients = 1000;
constexpr std::size_t kMaxFiles = 1000;
constexpr std::size_t kMaxAddressBytes = 254;
constexpr std::size_t kMaxTextBytes = 64u << 20;  // subject, names and body

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

template <typename T>
struct GUnref {
  void operator()(T* p) const {
    if (p != nullptr) g_object_unref(p);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

// A write-only GMime stream that hands every block written to it to a sink: the message goes
// wherever the caller writes (a spool file, a program's input) without this code holding a
// descriptor of the system.
struct SinkStream {
  GMimeStream parent;
  const MimeMessage::Sink* sink;
};
struct SinkStreamClass {
  GMimeStreamClass parent;
};

ssize_t SinkWrite(GMimeStream* stream, const char* buffer, size_t length) {
  const auto* self = reinterpret_cast<SinkStream*>(stream);
  if (!(*self->sink)(std::string_view(buffer, length))) return -1;
  stream->position += static_cast<gint64>(length);
  return static_cast<ssize_t>(length);
}

int SinkFlush(GMimeStream*) {
  return 0;
}

void SinkClassInit(void* klass, void*) {
  auto* streamClass = static_cast<GMimeStreamClass*>(klass);
  streamClass->write = SinkWrite;
  streamClass->flush = SinkFlush;
}

GType SinkStreamType() {
  static const GType type = [] {
    static const GTypeInfo info{sizeof(SinkStreamClass), nullptr, nullptr, SinkClassInit, nullptr, nullptr,
                                sizeof(SinkStream),      0,       nullptr, nullptr};
    // The type system outlives this library, which may be unloaded and loaded again: each load
    // registers the type under a name no earlier load has taken.
    for (unsigned n = 1;; ++n) {
      const std::string name = "VxMapiSinkStream" + std::to_string(n);
      if (g_type_from_name(name.c_str()) == 0)
        return g_type_register_static(GMIME_TYPE_STREAM, name.c_str(), &info, GTypeFlags{});
    }
  }();
  return type;
}

GMimeStream* NewSinkStream(const MimeMessage::Sink& sink) {
  auto* stream = static_cast<SinkStream*>(g_object_new(SinkStreamType(), nullptr));
  stream->sink = &sink;
  return GMIME_STREAM(stream);
}

// A text from the message in UTF-8, line breaks and other control characters (tab excepted)
// turned into blanks so that it cannot start a header of its own.
std::string HeaderText(const char* text) {
  if (text == nullptr) return {};
  std::string s = platform::LocaleToUtf8(std::string_view(text).substr(0, kMaxTextBytes));
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return s;
}

std::string BodyText(const char* text) {
  if (text == nullptr) return {};
  const std::string s = platform::LocaleToUtf8(std::string_view(text).substr(0, kMaxTextBytes));
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// The SMTP address of a recipient: its address with an optional "SMTP:" type, else its name
// when that is an address. Another address type cannot be delivered here.
std::uint32_t RecipientAddress(const MapiRecipDesc& r, std::string& address) {
  std::string text = r.lpszAddress != nullptr ? platform::LocaleToUtf8(r.lpszAddress) : "";
  if (text.empty() && r.lpszName != nullptr) text = platform::LocaleToUtf8(r.lpszName);
  if (StartsWithNoCase(text, "SMTP:")) {
    text.erase(0, 5);
  } else if (const auto colon = text.find(':'); colon != std::string::npos && text.find('@') > colon) {
    Log("recipient address of type \"" + HeaderText(text.substr(0, colon).c_str()) + "\" cannot be sent");
    return MAPI_E_BAD_RECIPTYPE;
  }
  if (!IsPlainAddress(text)) {
    Log("recipient address \"" + HeaderText(text.c_str()) + "\" is not a mail address");
    return MAPI_E_INVALID_RECIPS;
  }
  address = std::move(text);
  return SUCCESS_SUCCESS;
}

struct TypeByExtension {
  const char* extension;
  const char* type;
};
constexpr TypeByExtension kTypes[] = {
    {"pdf", "application/pdf"},
    {"xml", "application/xml"},
    {"xsd", "application/xml"},
    {"txt", "text/plain"},
    {"log", "text/plain"},
    {"csv", "text/csv"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"json", "application/json"},
    {"zip", "application/zip"},
    {"gz", "application/gzip"},
    {"7z", "application/x-7z-compressed"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"png", "image/png"},
    {"gif", "image/gif"},
    {"svg", "image/svg+xml"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"rtf", "application/rtf"},
    {"doc", "application/msword"},
    {"xls", "application/vnd.ms-excel"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"odt", "application/vnd.oasis.opendocument.text"},
    {"ods", "application/vnd.oasis.opendocument.spreadsheet"},
    {"p7s", "application/pkcs7-signature"},
    {"xades", "application/xml"},
};

std::string ContentTypeOf(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot != std::string::npos) {
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const auto& t : kTypes) {
      if (ext == t.extension) return t.type;
    }
  }
  return "application/octet-stream";
}

std::size_t LongestLine(const std::string& s) {
  std::size_t longest = 0;
  std::size_t start = 0;
  while (start <= s.size()) {
    const auto end = std::min(s.find('\n', start), s.size());
    longest = std::max(longest, end - start);
    start = end + 1;
  }
  return longest;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool IsPlainAddress(const std::string& a) {
  if (a.empty() || a.size() > kMaxAddressBytes || a.front() == '-' || a.front() == '.') return false;
  const auto at = a.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 == a.size() || a.find('@') != at) return false;
  for (unsigned char c : a) {
    if (c <= 0x20 || c >= 0x7F ||
        std::string_view("<>()[],;:\"\\").find(static_cast<char>(c)) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> Mail::EnvelopeRecipients() const {
  std::vector<std::string> all;
  for (const auto* list : {&to, &cc, &bcc}) {
    for (const Mailbox& m : *list) all.push_back(m.address);
  }
  return all;
}

std::uint32_t ReadMapiMessage(const MapiMessage& m, const MailConfig& config, bool needRecipients,
                              Mail& mail) {
  if (m.nRecipCount > kMaxRecipients || (m.nRecipCount > 0 && m.lpRecips == nullptr)) {
    Log("too many recipients");
    return MAPI_E_TOO_MANY_RECIPIENTS;
  }
  if (m.nFileCount > kMaxFiles || (m.nFileCount > 0 && m.lpFiles == nullptr)) {
    Log("too many attachments");
    return MAPI_E_TOO_MANY_FILES;
  }
  mail.subject = HeaderText(m.lpszSubject);
  mail.body = BodyText(m.lpszNoteText);

  bool haveFrom = false;
  auto takeFrom = [&](const MapiRecipDesc& r) -> std::uint32_t {
    std::string address;
    if (const auto code = RecipientAddress(r, address); code != SUCCESS_SUCCESS) return code;
    std::string name = HeaderText(r.lpszName);
    mail.from = Mailbox{name == address ? "" : name, address};
    haveFrom = true;
    return SUCCESS_SUCCESS;
  };
  if (m.lpOriginator != nullptr) {
    if (const auto code = takeFrom(*m.lpOriginator); code != SUCCESS_SUCCESS) return code;
  }
  for (ULONG i = 0; i < m.nRecipCount; ++i) {
    const MapiRecipDesc& r = m.lpRecips[i];
    if (r.ulRecipClass == MAPI_ORIG) {
      if (!haveFrom) {
        if (const auto code = takeFrom(r); code != SUCCESS_SUCCESS) return code;
      }
      continue;
    }
    std::string address;
    if (const auto code = RecipientAddress(r, address); code != SUCCESS_SUCCESS) return code;
    std::string name = HeaderText(r.lpszName);
    if (name == address) name.clear();
    Mailbox box{std::move(name), std::move(address)};
    switch (r.ulRecipClass) {
      case MAPI_TO:
        mail.to.push_back(std::move(box));
        break;
      case MAPI_CC:
        mail.cc.push_back(std::move(box));
        break;
      case MAPI_BCC:
        mail.bcc.push_back(std::move(box));
        break;
      default:
        Log("recipient class " + std::to_string(r.ulRecipClass) + " is unknown");
        return MAPI_E_BAD_RECIPTYPE;
    }
  }
  if (needRecipients && mail.to.empty() && mail.cc.empty() && mail.bcc.empty()) {
    Log("the message has no recipients");
    return MAPI_E_INVALID_RECIPS;
  }
  if (!haveFrom) {
    std::string configured = config.from;
    if (!configured.empty()) {
      InitGMime();
      GPtr<InternetAddressList> list(internet_address_list_parse(nullptr, configured.c_str()));
      InternetAddress* first = list && internet_address_list_length(list.get()) > 0
                                   ? internet_address_list_get_address(list.get(), 0)
                                   : nullptr;
      if (first != nullptr && INTERNET_ADDRESS_IS_MAILBOX(first)) {
        const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(first));
        const char* name = internet_address_get_name(first);
        if (addr != nullptr && IsPlainAddress(addr)) {
          mail.from = Mailbox{HeaderText(name), addr};
          haveFrom = true;
        }
      }
      if (!haveFrom)
        Log("the configured sender \"" + HeaderText(configured.c_str()) + "\" is not an address; not used");
    }
    if (!haveFrom) mail.from = Mailbox{"", platform::UserLoginName() + "@" + platform::HostName()};
  }

  for (ULONG i = 0; i < m.nFileCount; ++i) {
    const MapiFileDesc& f = m.lpFiles[i];
    if (f.lpszPathName == nullptr || *f.lpszPathName == '\0') {
      Log("attachment without a path");
      return MAPI_E_ATTACHMENT_NOT_FOUND;
    }
    Attachment a;
    a.path = platform::LocaleToUtf8(f.lpszPathName);
    a.name =
        f.lpszFileName != nullptr && *f.lpszFileName != '\0' ? HeaderText(f.lpszFileName) : BaseName(a.path);
    mail.files.push_back(std::move(a));
  }
  return SUCCESS_SUCCESS;
}

MimeMessage::~MimeMessage() {
  if (message_ != nullptr) g_object_unref(message_);
}

std::unique_ptr<MimeMessage> MimeMessage::Build(const Mail& mail, bool bccHeader, std::uint32_t& code) {
  InitGMime();
  code = SUCCESS_SUCCESS;
  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  auto add = [&](GMimeAddressType type, const Mailbox& box) {
    InternetAddress* address =
        internet_address_mailbox_new(box.name.empty() ? nullptr : box.name.c_str(), box.address.c_str());
    internet_address_set_charset(address, "utf-8");
    internet_address_list_add(g_mime_message_get_addresses(message.get(), type), address);
    g_object_unref(address);
  };
  add(GMIME_ADDRESS_TYPE_FROM, mail.from);
  for (const Mailbox& b : mail.to) add(GMIME_ADDRESS_TYPE_TO, b);
  for (const Mailbox& b : mail.cc) add(GMIME_ADDRESS_TYPE_CC, b);
  if (bccHeader) {
    for (const Mailbox& b : mail.bcc) add(GMIME_ADDRESS_TYPE_BCC, b);
  }
  g_mime_message_set_subject(message.get(), mail.subject.c_str(), "utf-8");
  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message.get(), now);
  g_date_time_unref(now);
  char* id =
      g_mime_utils_generate_message_id(mail.from.address.substr(mail.from.address.rfind('@') + 1).c_str());
  g_mime_message_set_message_id(message.get(), id);
  g_free(id);

  GPtr<GMimeTextPart> text(g_mime_text_part_new_with_subtype("plain"));
  g_mime_text_part_set_text(text.get(), mail.body.c_str());
  g_mime_text_part_set_charset(text.get(), "utf-8");
  // Quoted-printable keeps the text readable and lets the line ends follow the transport's.
  const bool plain = std::all_of(mail.body.begin(), mail.body.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; }) &&
                     LongestLine(mail.body) <= 998;
  g_mime_part_set_content_encoding(
      GMIME_PART(text.get()), plain ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);

  if (mail.files.empty()) {
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(text.get()));
  } else {
    GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(text.get()));
    for (const Attachment& a : mail.files) {
      GError* error = nullptr;
      GPtr<GMimeStream> stream(g_mime_stream_fs_open(a.path.c_str(), O_RDONLY | O_CLOEXEC, 0, &error));
      if (!stream) {
        Log("attachment \"" + a.path + "\" cannot be opened: " + (error != nullptr ? error->message : "?"));
        if (error != nullptr) g_error_free(error);
        code = MAPI_E_ATTACHMENT_OPEN_FAILURE;
        return nullptr;
      }
      const std::string type = ContentTypeOf(a.name);
      const auto slash = type.find('/');
      GPtr<GMimePart> part(
          g_mime_part_new_with_type(type.substr(0, slash).c_str(), type.substr(slash + 1).c_str()));
      GPtr<GMimeDataWrapper> content(
          g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
      g_mime_part_set_content(part.get(), content.get());
      g_mime_part_set_filename(part.get(), a.name.c_str());
      // A non-ASCII name goes in UTF-8, not in the smallest legacy code set that holds it.
      GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(GMIME_OBJECT(part.get()));
      GMimeContentType* ctype = g_mime_object_get_content_type(GMIME_OBJECT(part.get()));
      for (GMimeParamList* params : {g_mime_content_disposition_get_parameters(disposition),
                                     g_mime_content_type_get_parameters(ctype)}) {
        for (int i = 0; i < g_mime_param_list_length(params); ++i) {
          g_mime_param_set_charset(g_mime_param_list_get_parameter_at(params, i), "utf-8");
        }
      }
      g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
      g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
    }
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
  }
  auto built = std::make_unique<MimeMessage>();
  built->message_ = message.release();
  return built;
}

bool MimeMessage::WriteTo(const Sink& sink, bool crlf) const {
  GPtr<GMimeStream> stream(NewSinkStream(sink));
  GMimeFormatOptions* options = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(options,
                                           crlf ? GMIME_NEWLINE_FORMAT_DOS : GMIME_NEWLINE_FORMAT_UNIX);
  g_mime_format_options_set_param_encoding_method(options, GMIME_PARAM_ENCODING_METHOD_RFC2231);
  const gint64 written = g_mime_object_write_to_stream(GMIME_OBJECT(message_), options, stream.get());
  g_mime_format_options_free(options);
  return written >= 0;
}

}  // namespace vx::mapi
