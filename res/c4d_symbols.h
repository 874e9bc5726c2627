// Identifiers of the module's global strings (strings_us/c4d_strings.str).
enum
{
  IDS_KESTRELWOOD = 10072,

  // End of symbol definition
  _DUMMY_ELEMENT_
};
