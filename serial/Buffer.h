#pragma once

// A byte store with a fixed capacity. The system instantiates it for char only.
template <typename T> class Buffer {
  public:
    virtual ~Buffer() = default;

    // Stores count elements; returns how many were accepted.
    virtual unsigned write(const T* data, unsigned count) = 0;
    // Moves up to count of the oldest elements to out; returns how many were moved.
    virtual unsigned read(T* out, unsigned count) = 0;
    virtual bool isFull() const = 0;
    virtual bool isEmpty() const = 0;
    virtual unsigned usedSize() const = 0;
    virtual unsigned freeSize() const = 0;
    virtual unsigned capacity() const = 0;
};
