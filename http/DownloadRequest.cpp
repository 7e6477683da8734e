#include "http/DownloadRequest.h"
