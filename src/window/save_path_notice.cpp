#include "window/save_path_notice.h"

#include <string>

namespace tarnwick {

OperatorMessage SavePathNotice(std::string_view logFile) {
    return {"File new path is :   " + std::string(logFile) + "    ", "Notice",
            MessageIcon::Question};
}

}  // namespace tarnwick
