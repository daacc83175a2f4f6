// Built into every program of a sanitizer build. Programs run by cupsd get
// a clean environment, so their leak suppressions travel inside them.
extern "C" const char* __lsan_default_suppressions() {
  // libcups 2.4 loses a few strings of its PPD cache when marking "media".
  return "leak:_ppdCacheCreateWithPPD\n";
}
