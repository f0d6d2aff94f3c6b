#include "handle_table.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace inet::detail {
namespace {

struct Table {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, std::shared_ptr<HandleObject>> objects;
  std::uintptr_t next_key = 0x10;
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: handles may be closed during exit
  return *table;
}

std::uintptr_t KeyOf(HINTERNET handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

HINTERNET RegisterHandle(const std::shared_ptr<HandleObject>& object) {
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  const std::uintptr_t key = table.next_key;
  table.next_key += 0x10;  // keeps values aligned like pointers, purely cosmetic
  table.objects.emplace(key, object);
  auto handle = reinterpret_cast<HINTERNET>(key);
  object->set_handle(handle);
  return handle;
}

std::shared_ptr<HandleObject> FindHandle(HINTERNET handle) {
  if (handle == nullptr) return nullptr;
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  auto it = table.objects.find(KeyOf(handle));
  return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<HandleObject> UnregisterHandle(HINTERNET handle) {
  if (handle == nullptr) return nullptr;
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  auto it = table.objects.find(KeyOf(handle));
  if (it == table.objects.end()) return nullptr;
  auto object = std::move(it->second);
  table.objects.erase(it);
  return object;
}

}  // namespace inet::detail
