#include "core/ShellExecuteHook.h"

#include <shellapi.h>

ShellExecuteFunction& TheShellExecute()
{
    static ShellExecuteFunction function = &::ShellExecuteW;
    return function;
}
