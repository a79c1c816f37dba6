// What SDL_mixer makes of each music file named: one line per file, its loop
// start, end and length in seconds as Mix_GetMusicLoopStartTime,
// Mix_GetMusicLoopEndTime and Mix_GetMusicLoopLengthTime give them (-1 when
// it found no loop), or why it could not load it. Audio goes to SDL's dummy
// driver: nothing is played.
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdio>

int main(int argc, char** argv) {
  SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (SDL_Init(SDL_INIT_AUDIO) != 0 || Mix_Init(MIX_INIT_FLAC | MIX_INIT_OGG) == 0 ||
      Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 1024) != 0) {
    std::printf("no audio: %s\n", SDL_GetError());
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    Mix_Music* music = Mix_LoadMUS(argv[i]);
    if (music == nullptr) {
      std::printf("%s: not loaded: %s\n", argv[i], Mix_GetError());
      continue;
    }
    std::printf("%s: start %.6f end %.6f length %.6f\n", argv[i], Mix_GetMusicLoopStartTime(music),
                Mix_GetMusicLoopEndTime(music), Mix_GetMusicLoopLengthTime(music));
    Mix_FreeMusic(music);
  }
  Mix_CloseAudio();
  Mix_Quit();
  SDL_Quit();
  return 0;
}
