// Everything of the test-support library in one include.
#pragma once

#include "testsupport/certificates.h"
#include "testsupport/nginx_server.h"
#include "testsupport/process.h"
#include "testsupport/proxy_server.h"
#include "testsupport/scripted_server.h"
