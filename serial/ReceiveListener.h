#pragma once

// Told when received bytes have been stored. Runs on the port's receive thread (notify delay 0) or on its
// notify timer thread, never with the port lock held. It may close the port but must not destroy it.
class ReceiveListener {
  public:
    virtual ~ReceiveListener() = default;
    // portName: the port's name; byteCount: bytes then held in the port's receive buffer.
    virtual void onDataReceived(const char* portName, unsigned byteCount) = 0;
};
