-- START Textures.lua
Textures = {
{Name="gem.png"; Texture="atlas"; PosX=0; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{Name="glow.png"; Texture="atlas"; PosX=64; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{Name="star.png"; Texture="atlas"; PosX=128; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{Name="banner.png"; Texture="atlas"; PosX=0; PosY=64; Width=256; Height=64; Rotate=false; Compress=false;},
{Name="button.png"; Texture="atlas"; PosX=0; PosY=128; Width=128; Height=48; Rotate=false; Compress=false;},
}
