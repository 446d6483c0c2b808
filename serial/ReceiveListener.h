#pragma once

// Told when received bytes have been stored. Runs on the port's receive thread (notify delay 0) or on its
// notify timer thread, never with the port lock held. It must not close or destroy the port it listens to.
class ReceiveListener {
  public:
    virtual ~ReceiveListener() = default;
    // portName: the port's name; byteCount: bytes then held in the port's receive buffer.
    virtual void onDataReceived(const char* portName, unsigned byteCount) = 0;
};
