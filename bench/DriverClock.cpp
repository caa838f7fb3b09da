#include "bench/DriverClock.h"

#include <GL/glew.h>
#include <dlfcn.h>

#include <type_traits>

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::nanoseconds inDriver{0};
long callCount = 0;

// Times one call; nested calls (none expected) would count once each.
struct Scope {
    Clock::time_point start = Clock::now();
    ~Scope() {
        inDriver += Clock::now() - start;
        ++callCount;
    }
};

// A wrapper for one GLEW function pointer: keeps the real pointer and puts
// a timing trampoline of the same signature in its place.
template <auto* Slot, typename Fn>
struct Hook;

template <auto* Slot, typename R, typename... A>
struct Hook<Slot, R(GLAPIENTRY*)(A...)> {
    static inline R(GLAPIENTRY* real)(A...) = nullptr;
    static R GLAPIENTRY call(A... args) {
        Scope scope;
        return real(args...);
    }
    static void install() {
        if (*Slot != nullptr && *Slot != &call) {
            real = *Slot;
            *Slot = &call;
        }
    }
};

template <auto* Slot>
void hook() {
    Hook<Slot, std::remove_reference_t<decltype(*Slot)>>::install();
}

// The real GL 1.1 function behind an override in this executable.
template <typename Fn>
Fn next(const char* name) {
    static_assert(std::is_pointer_v<Fn>);
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// GL 1.1 entry points are plain library symbols: these definitions take the
// renderer's calls, time them and pass them on.
#define TIMED_GL11(ret, name, params, args)                                   \
    extern "C" ret GLAPIENTRY name params {                                   \
        using Fn = ret(GLAPIENTRY*) params;                                   \
        static const Fn real = next<Fn>(#name);                               \
        Scope scope;                                                          \
        return real args;                                                     \
    }

TIMED_GL11(void, glClear, (GLbitfield mask), (mask))
TIMED_GL11(void, glEnable, (GLenum cap), (cap))
TIMED_GL11(void, glDisable, (GLenum cap), (cap))
TIMED_GL11(void, glDepthFunc, (GLenum func), (func))
TIMED_GL11(void, glBlendFunc, (GLenum s, GLenum d), (s, d))
TIMED_GL11(void, glPolygonMode, (GLenum face, GLenum mode), (face, mode))
TIMED_GL11(void, glBindTexture, (GLenum target, GLuint texture), (target, texture))
TIMED_GL11(void, glGetIntegerv, (GLenum pname, GLint* data), (pname, data))
TIMED_GL11(void, glDrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count))
TIMED_GL11(void, glDrawElements,
           (GLenum mode, GLsizei count, GLenum type, const void* indices),
           (mode, count, type, indices))

void DriverClock::install() {
    hook<&__glewUseProgram>();
    hook<&__glewUniform1f>();
    hook<&__glewUniform1i>();
    hook<&__glewUniform3f>();
    hook<&__glewUniform4f>();
    hook<&__glewUniformMatrix4fv>();
    hook<&__glewGetUniformLocation>();
    hook<&__glewActiveTexture>();
    hook<&__glewBindVertexArray>();
    hook<&__glewBindFramebuffer>();
    hook<&__glewDrawBuffers>();
    hook<&__glewBindBuffer>();
    hook<&__glewBindBufferBase>();
    hook<&__glewBufferData>();
    hook<&__glewDrawElementsInstanced>();
    hook<&__glewBlendFuncSeparate>();
}

std::chrono::nanoseconds DriverClock::elapsed() {
    return inDriver;
}

void DriverClock::reset() {
    inDriver = std::chrono::nanoseconds{0};
    callCount = 0;
}

std::chrono::nanoseconds DriverClock::overheadPerCall() {
    constexpr int kSamples = 200000;
    const std::chrono::nanoseconds savedTime = inDriver;
    const long savedCalls = callCount;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kSamples; ++i) {
        Scope scope;
    }
    const std::chrono::nanoseconds total = Clock::now() - start;
    // The part of each scope that falls outside its own measured interval.
    const std::chrono::nanoseconds outside = total - (inDriver - savedTime);
    inDriver = savedTime;
    callCount = savedCalls;
    return outside / kSamples;
}

long DriverClock::calls() {
    return callCount;
}
