#include "hosts/common/ProcessSetup.h"

#include "hosts/common/ExitCodes.h"

#include <exception>
#include <iostream>
#include <new>

namespace zibbles::host {

int runProgram(std::string_view program, const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        std::cerr << program << ": out of memory\n";
    } catch (const std::exception& error) {
        std::cerr << program << ": " << error.what() << "\n";
    } catch (...) {
        std::cerr << program << ": an unexpected error ended the run\n";
    }
    return kExitFailed;
}

} // namespace zibbles::host
