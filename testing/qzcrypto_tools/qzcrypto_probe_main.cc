// Drives the encryption library and the encrypted log for
// qzcrypto_tools_test.py.
//
//   qzcrypto_probe.exe open-headed <file>
//       opens <file> as a headed encrypted file for reading and prints
//       "result <code>".
//   qzcrypto_probe.exe log <log file> <tag> <count>
//       two threads each write <count> encrypted records
//       "record <tag> <thread> <n>" to <log file>.
//   qzcrypto_probe.exe log-at-exit <log file>
//       writes one encrypted record, then another from an exit handler that
//       runs after every static object made later is gone.
//   qzcrypto_probe.exe encrypt-file|decrypt-file <src> <dst>
//       runs the product helper's file function and prints "result <code>".

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <string>
#include <thread>

#include "base/logging.h"
#include "base/utf_string_conversions.h"
#include "qzcrypto/crypt_file_helper.h"
#include "qzcrypto/encrypt_file_io.h"

namespace {

int OpenHeaded(const std::wstring& path) {
  std::unique_ptr<qzcrypto::EncryptFileIO> stream =
      qzcrypto::CreateEncryptFileIO();
  stream->SetCryptoType(qzcrypto::kSingleByteCryptorType);
  stream->SetWithHeader(true);
  const int32_t result =
      stream->Open(base::WideToUTF8(path).c_str(), qzcrypto::kOpenRead);
  printf("result %d\n", static_cast<int>(result));
  return 0;
}

void SetUpEncryptedLog(const std::wstring& log_file) {
  InstallLogRecordEncryption();
  base::LoggingSettings settings;
  settings.log_file = log_file.c_str();
  base::InitLogging(settings);
  base::SetLogItems(true, true, true, true);
}

void WriteRecords(const std::string& tag, int thread_index, int count) {
  for (int i = 0; i < count; ++i)
    LOG(INFO) << "record " << tag << " " << thread_index << " " << i;
}

int Log(const std::wstring& log_file, const std::string& tag, int count) {
  SetUpEncryptedLog(log_file);
  std::thread other(WriteRecords, tag, 1, count);
  WriteRecords(tag, 0, count);
  other.join();
  return 0;
}

void LogWhileExiting() { LOG(INFO) << "logged while the process exits"; }

int LogAtExit(const std::wstring& log_file) {
  // Registered before the helper exists, so it runs after anything the
  // helper registers for the exit.
  atexit(&LogWhileExiting);
  SetUpEncryptedLog(log_file);
  LOG(INFO) << "logged before the exit";
  exit(0);
}

int CryptFile(const std::wstring& command, const std::wstring& src,
              const std::wstring& dst) {
  CryptFileHelper* helper = CryptFileHelper::GetInstance();
  const int32_t result = command == L"encrypt-file"
                             ? helper->EncryptFile(src, dst)
                             : helper->DecryptFile(src, dst);
  printf("result %d\n", static_cast<int>(result));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (argc == 3 && command == L"open-headed") return OpenHeaded(argv[2]);
  if (argc == 5 && command == L"log")
    return Log(argv[2], base::WideToUTF8(argv[3]), _wtoi(argv[4]));
  if (argc == 3 && command == L"log-at-exit") return LogAtExit(argv[2]);
  if (argc == 4 && (command == L"encrypt-file" || command == L"decrypt-file"))
    return CryptFile(command, argv[2], argv[3]);
  fprintf(stderr,
          "usage: qzcrypto_probe.exe open-headed <file> | log <log file> "
          "<tag> <count> | log-at-exit <log file> | "
          "encrypt-file|decrypt-file <src> <dst>\n");
  return 2;
}
