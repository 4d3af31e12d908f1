#include "node/node_config.h"

std::string ConfigError::Text() const {
    return line > 0 ? file + ":" + std::to_string(line) + ": " + reason : file + ": " + reason;
}
