// SPDX-License-Identifier: MIT
// The -p printout of a configuration.
#pragma once

#include "config/config.h"

void print_config(const HandlerConfig& config);
