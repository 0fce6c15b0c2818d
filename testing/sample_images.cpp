// The sample pair shipped in samples/.
#include "testing/sample_images.h"

namespace tarvel::testing {

namespace {

constexpr std::uint32_t RUN_KEY = 0x00000004;  // an autorun bit
constexpr std::uint32_t SERVICE = 0x00000100;  // another autorun bit
constexpr std::uint32_t SEEN = 0x00000020;     // a plain status bit that is compared
constexpr std::uint32_t SIGNED = 0x00000040;   // another compared status bit

constexpr std::u16string_view SHA1_SVCHOST = u"3f786850e387550fdab836ed7e6dc881de23001b";
constexpr std::u16string_view SHA1_VIEWER_OLD = u"89e6c98d92887913cadf06b2adb97f26cde4849b";
constexpr std::u16string_view SHA1_VIEWER_NEW = u"2b66fd261ee5c6cfc8de7fa466bab600bcfe4f69";
constexpr std::u16string_view SHA1_HOSTS = u"a3db5c13ff90a36963278c6a39e4ee3c22e2a436";

EntrySpec with_sha1(EntrySpec spec, std::u16string_view sha1) {
  spec.properties =
      concat({sha1_property(sha1), property_item(utf16le(u"Company"), utf16le(u"Lindell Ltd."))});
  return spec;
}

}  // namespace

ImageSpec sample_old_image() {
  ImageSpec image;
  image.version = 5;
  image.hosts = bytes_of(
      "# Hosts file of the investigated machine\r\n"
      "127.0.0.1 localhost\r\n"
      "10.0.0.5 fileserver  # backups\r\n"
      "10.0.0.7 printer\r\n");
  image.hosts.push_back(0);
  image.apps = {app(u"{7A1C-Viewer}", u"Lindell Viewer 2.1"),
                app(u"{93B0-Toolbar}", u"Marrowby Search Toolbar 1.0")};
  image.entries = {
      with_sha1(entry(u"C:\\Windows\\System32", u"svchost.exe", SERVICE | SEEN), SHA1_SVCHOST),
      with_sha1(entry(u"C:\\Users\\ann\\AppData\\Roaming", u"updater.exe", RUN_KEY | SEEN),
                SHA1_SVCHOST),
      with_sha1(entry(u"C:\\Program Files\\Lindell", u"viewer.exe", SEEN), SHA1_VIEWER_OLD),
      with_sha1(entry(u"C:\\Windows", u"notepad.exe", SEEN), SHA1_SVCHOST),
      with_sha1(entry(u"C:\\Windows\\System32\\drivers\\etc", u"hosts", SEEN), SHA1_HOSTS),
      entry(u"C:\\Users\\ann\\Documents", u"Zoë's notes.txt", 0),
  };
  return image;
}

ImageSpec sample_new_image() {
  ImageSpec image;
  image.version = 5;
  image.hosts = bytes_of(
      "127.0.0.1 localhost\r\n"
      "10.0.0.5 FileServer  # backups\r\n"
      "203.0.113.9 update.lindell.example\r\n");
  image.hosts.push_back(0);
  image.apps = {app(u"{7A1C-Viewer}", u"Lindell Viewer 2.2"),
                app(u"{C3D4-Helper}", u"Remote Helper 5.0")};
  image.entries = {
      with_sha1(entry(u"c:\\Windows\\System32", u"svchost.exe", SERVICE | SEEN), SHA1_SVCHOST),
      with_sha1(entry(u"c:\\Program Files\\Lindell", u"viewer.exe", SEEN), SHA1_VIEWER_NEW),
      entry(u"c:\\Windows", u"notepad.exe", SEEN),
      with_sha1(entry(u"c:\\Windows\\System32\\drivers\\etc", u"hosts", SEEN | SIGNED), SHA1_HOSTS),
      with_sha1(entry(u"c:\\Users\\ann\\AppData\\Local\\Temp", u"helper.exe", RUN_KEY | SEEN),
                SHA1_VIEWER_NEW),
      entry(u"c:\\Users\\ann\\Documents", u"Zoë's notes.txt", 0),
  };
  return image;
}

}  // namespace tarvel::testing
