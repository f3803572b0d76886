// The process-wide error text and location chain.
#include "base/error.h"

#include <cstdio>

std::string g_ErrorText;
std::string g_ErrorChain;

namespace {
std::string g_errorDetail;
}

void NoteErrorDetail(std::string_view detail)
{
    if (detail.empty())
        return;
    std::fprintf(stderr, "vantor: %.*s\n", static_cast<int>(detail.size()), detail.data());
    if (g_errorDetail.empty())
        g_errorDetail = detail;
}

const std::string& ErrorDetail() { return g_errorDetail; }

void RaiseError(std::string_view text)
{
    g_ErrorText.clear();
    g_ErrorText.reserve(text.size() + 2);
    g_ErrorText += '"';
    g_ErrorText += text;
    g_ErrorText += '"';
    throw CError{};
}

void AddToChain(std::string_view name)
{
    std::string chain(name);
    chain += "()";
    if (!g_ErrorChain.empty()) {
        chain += " -> ";
        chain += g_ErrorChain;
    }
    g_ErrorChain = std::move(chain);
}

std::string FormatErrorReport()
{
    std::string text = g_ErrorText.empty() ? std::string("\"Unknown Error\"") : g_ErrorText;
    if (!g_errorDetail.empty())
        text += "\n" + g_errorDetail;
    return g_ErrorChain + "\n\n" + text;
}

void ResetError()
{
    g_ErrorText.clear();
    g_ErrorChain.clear();
    g_errorDetail.clear();
}
