// libOSMesa keeps a few hundred bytes of its own per process (its shared
// dispatch state) that it never frees; LeakSanitizer would blame every test
// that makes a context. Only leaks whose stack lies inside libOSMesa are excused.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }
