#include "controller/errors.h"

#include "config/settings.h"
#include "text/Texts.h"

namespace buzonix {

std::string ErrorMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const ERegistryException& e) {
    return e.message;
  } catch (const EConvertError& e) {
    return e.message;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return kErrorDesconocido;
  }
}

}  // namespace buzonix
