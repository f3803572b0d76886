// The program's error convention.
//
// A failure that stops a run mode stores its error text (enclosed in double
// quotes) and throws. Every operation that takes part in the location chain
// catches whatever leaves it, puts its own name in front of the chain and
// throws the same exception again. CSaverApp::Run shows the result.
#pragma once

#include <string>
#include <string_view>
#include <utility>

// The exception object itself carries no meaning; the process-wide strings do.
struct CError {};

extern std::string g_ErrorText;   // e.g. "\"Could not create main window\""
extern std::string g_ErrorChain;  // e.g. "CSaverApp::Run() -> CSaverApp::DoSaver()"

// Stores `text` wrapped in double quotes and throws CError.
[[noreturn]] void RaiseError(std::string_view text);

// Puts `name` + "()" in front of the location chain.
void AddToChain(std::string_view name);

// What exactly failed beneath the error text, e.g. the archive member and
// why ("textures/sky.png: not a PNG"). Written to standard error at once and
// added to the report as a further line. The first detail of a run is kept:
// later failures are usually consequences of it.
void NoteErrorDetail(std::string_view detail);
const std::string& ErrorDetail();

// The message of the error box: the chain, a blank line, the error text
// ("Unknown Error" when no text was stored), and the detail line if any.
std::string FormatErrorReport();

// Clears both strings (tests, and nothing else, need this).
void ResetError();

// Runs `body` as the operation `name` of the location chain.
template <class F>
decltype(auto) InChain(std::string_view name, F&& body)
{
    try {
        return std::forward<F>(body)();
    } catch (...) {
        AddToChain(name);
        throw;
    }
}
