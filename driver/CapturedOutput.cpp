#include "driver/CapturedOutput.h"

std::ostream* CapturedOutput::For(std::ostream* target) {
  for (const Recording& recording : recordings_)
    if (recording.recorder->Target() == target)
      return recording.stream.get();
  Recording recording;
  recording.recorder.reset(new Recorder(*this, target));
  recording.stream.reset(new std::ostream(recording.recorder.get()));
  recordings_.push_back(std::move(recording));
  return recordings_.back().stream.get();
}

void CapturedOutput::Replay() {
  for (const auto& piece : pieces_) {
    piece.first->write(piece.second.data(), std::streamsize(piece.second.size()));
    piece.first->flush();
  }
  pieces_.clear();
}

// Consecutive text for one target joins one piece.
void CapturedOutput::Append(std::ostream* target, const char* text, std::size_t n) {
  if (pieces_.empty() || pieces_.back().first != target)
    pieces_.emplace_back(target, std::string());
  pieces_.back().second.append(text, n);
}

CapturedOutput::Recorder::int_type CapturedOutput::Recorder::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof()))
    return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  owner_.Append(target_, &byte, 1);
  return c;
}

std::streamsize CapturedOutput::Recorder::xsputn(const char* text, std::streamsize n) {
  owner_.Append(target_, text, std::size_t(n));
  return n;
}
