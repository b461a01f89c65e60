// The text of an error the program raises, as its boxes show it.
#pragma once

#include <exception>
#include <string>

namespace buzonix {

// The message of a registry, conversion or standard error; "Error
// desconocido" for anything else.
std::string ErrorMessage(std::exception_ptr error);

}  // namespace buzonix
