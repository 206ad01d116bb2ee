#pragma once
// The real transfer control: libcurl's multi interface on a worker thread of its own.
#include "ftp/transfer_control.h"

#include <memory>

// Created on the window's thread; its notifications are delivered there.
std::unique_ptr<ITransferControl> makeCurlTransferControl();
