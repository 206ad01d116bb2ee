#pragma once
// Loopback ports for the servers the tests start.

// A loopback port that was free a moment ago (0 when none could be had).
int freeLoopbackPort();

// True when something accepts connections on 127.0.0.1:port.
bool acceptsConnections(int port);
