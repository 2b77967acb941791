// How the program ends when the C++ runtime meets a failure it would throw
// for (a string grown past its limit, an empty function called, a lock the
// system refuses). The program catches no exception but memory running out
// and has no console, so each of these ends the process at once: the same
// end as an uncaught exception, but without linking the runtime's exception texts, string instances and name
// demangler, which would more than double the program's size. Linked into the
// program only; the tests keep the runtime's own behaviour.

#include <cstdlib>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
// Memory running out is the one failure the commands turn into their
// failure text: it is thrown, as operator new throws it.
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_bad_function_call() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_system_error(int) { std::abort(); }
}  // namespace std
