#pragma once
// The vx64 host library: everything an application needs to validate files, send mail and drive
// the worker.
#include "vx64/json.h"
#include "vx64/mail.h"
#include "vx64/services.h"
#include "vx64/validation.h"
#include "vx64/version.h"
#include "vx64/worker_client.h"
