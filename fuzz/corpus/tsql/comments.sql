select 1 as a, -- it's a comment （全角）
 2 as b /* nested /* block */ ' */ , [c]]d] = 3
