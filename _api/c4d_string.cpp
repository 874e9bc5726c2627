#include "c4d_string.h"

#include "c4d_os.h"

String::String() : h_(C4DOS.strings.create("", 0)) {}
String::String(const CHAR* text) : h_(C4DOS.strings.create(text ? text : "", -1)) {}
String::String(const String& other) : h_(C4DOS.strings.copy(other.h_)) {}
String::~String() { C4DOS.strings.free(h_); }

String& String::operator=(const String& other) {
  if (this != &other) {
    KwString* copy = C4DOS.strings.copy(other.h_);
    C4DOS.strings.free(h_);
    h_ = copy;
  }
  return *this;
}

LONG String::GetLength() const { return C4DOS.strings.length(h_); }
LONG String::GetCString(CHAR* buf, LONG cap) const { return C4DOS.strings.get_utf8(h_, buf, cap); }

String& String::operator+=(const String& other) {
  KwString* joined = C4DOS.strings.concat(h_, other.h_);
  C4DOS.strings.free(h_);
  h_ = joined;
  return *this;
}

String operator+(const String& a, const String& b) { return String::Adopt(C4DOS.strings.concat(a.h_, b.h_)); }

String String::Adopt(KwString* handle) {
  String s;
  C4DOS.strings.free(s.h_);
  s.h_ = handle;
  return s;
}

String LongToString(LONG value) { return String::Adopt(C4DOS.strings.from_long(value)); }

Filename::Filename() : h_(C4DOS.filenames.create()) {}
Filename::Filename(const Filename& other) : h_(C4DOS.filenames.create()) { C4DOS.filenames.copy_to(other.h_, h_); }
Filename::~Filename() { C4DOS.filenames.free(h_); }

Filename& Filename::operator=(const Filename& other) {
  if (this != &other) C4DOS.filenames.copy_to(other.h_, h_);
  return *this;
}

String Filename::GetString() const { return String::Adopt(C4DOS.filenames.get_string(h_)); }
void Filename::SetString(const String& s) { C4DOS.filenames.set_string(h_, s.Handle()); }
String Filename::GetString(const KwFilename* handle) { return String::Adopt(C4DOS.filenames.get_string(handle)); }
