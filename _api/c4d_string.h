// Text and file names, held by the host: each object owns one host handle.
#ifndef KW_C4D_STRING_H
#define KW_C4D_STRING_H

#include "c4d_types.h"

class String {
 public:
  String();
  String(const CHAR* text);  // NOLINT: the SDK converts literals implicitly
  String(const String& other);
  String& operator=(const String& other);
  ~String();

  LONG GetLength() const;
  // Copies the text, NUL-terminated, into buf of cap bytes; the full length.
  LONG GetCString(CHAR* buf, LONG cap) const;

  String& operator+=(const String& other);
  friend String operator+(const String& a, const String& b);

  // Takes over a handle the host returned.
  static String Adopt(KwString* handle);
  const KwString* Handle() const { return h_; }

 private:
  KwString* h_;
};

String LongToString(LONG value);

class Filename {
 public:
  Filename();
  Filename(const Filename& other);
  Filename& operator=(const Filename& other);
  ~Filename();

  String GetString() const;
  void SetString(const String& s);
  // The text of a file name the host handed over.
  static String GetString(const KwFilename* handle);

  const KwFilename* Handle() const { return h_; }
  KwFilename* Handle() { return h_; }

 private:
  KwFilename* h_;
};

#endif
