#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace fretmap {

// The sound module, fretmap-audio.so: the program's only way to the
// desktop's sound server. It is looked for and loaded on first use, so that
// the program starts without it, and stays loaded for the rest of the run:
// the outputs and inputs it makes run its code.
namespace sound_module {

// Where the module is looked for, in order: the program's own folder, then
// the installed module folder.
QStringList folders();

// The address of the module's function `symbol`, from the first of
// `folders` that holds the module; nullptr with why not in `problem`: a
// sentence that says what is missing and what to do about it.
QFunctionPointer resolve(const QStringList& folders, const char* symbol, QString& problem);

// The same, typed as the module's header declares the function.
template <typename Function>
Function resolveFunction(const QStringList& folders, const char* symbol, QString& problem)
{
    // A symbol comes as an untyped address; the module's header gives its type.
    return reinterpret_cast<Function>(resolve(folders, symbol, problem)); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
}

} // namespace sound_module

} // namespace fretmap
